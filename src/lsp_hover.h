// The language server's hover: on a setting, its meaning and default, and on a length, the CSS
// it becomes; on a block line, what the block shows.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include "checker.h"

// The hover for line `line` (from 0) of `text`, whose lines went to the kinds in `checked`;
// null when there is nothing to say.
nlohmann::json hover_at(const std::string& text, const checked_text& checked, std::size_t line);
