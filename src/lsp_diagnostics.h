// The language server's findings for an open buffer: its page in the project around it, the
// settings that carry into it from the pages a run compiles before it, and check's findings for
// the buffer's text as the protocol's diagnostics.
#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "block_records.h"
#include "checker.h"

// An open command file's place in its project, and the run-wide records as check finds them
// when it reaches the file.
struct lsp_page {
  command_file_place place;
  project_folder project;
  block_records start;
};

// The page of the command file at `file` (an absolute path): the project is the nearest folder
// above it named "proj", and the pages that a run compiles before it are read from disk. Without
// such a folder, the file's own folder stands for the project but is not walked: no page comes
// before the file, and no near file is suggested.
lsp_page open_lsp_page(const std::filesystem::path& file);

// Checks `text` as the content of `page`, starting from the records it starts from.
checked_text check_buffer(const lsp_page& page, const std::string& text);

// The findings of `checked` on `text` as the protocol's diagnostics, each from its column to
// the end of its line.
nlohmann::json diagnostics_json(const checked_text& checked, const std::string& text);
