// The language server's completion: block lines at the start of a line, and the setting keys of
// the open block, with their defaults, after "@@".
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include "checker.h"

// The completion items for the position (`line`, UTF-16 `column`, both from 0) of `text`, whose
// lines went to the kinds in `checked`; `page_blocks` (a site with settings) adds the @page block.
nlohmann::json completion_items(const std::string& text, const checked_text& checked,
                                bool page_blocks, std::size_t line, std::size_t column);
