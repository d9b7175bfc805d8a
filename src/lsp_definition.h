// The language server's go-to-definition: from a "@@src" or "@@url" line to the file it names.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include "checker.h"
#include "lsp_diagnostics.h"

// The location of the file that line `line` (from 0) of `text`, a setting line of `page`, names:
// the file itself, or the command file of a page; null when it names none on disk.
nlohmann::json definition_at(const lsp_page& page, const std::string& text,
                             const checked_text& checked, std::size_t line);
