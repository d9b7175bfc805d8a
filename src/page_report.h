// What a run and a rebuild say about one page, in the same words.
#pragma once

#include <filesystem>
#include <string>

#include "ordered_console.h"

struct site_frame;

// How compiling one page ended.
enum class page_outcome { compiled, not_opened, not_created, not_read, not_written };

// The lines about the page `page_path` compiled from `command_file` (at `relative` below the input
// folder): "Compiled: ..." on standard output when it was compiled, else one error line.
console_report page_report(page_outcome outcome, const std::string& command_file,
                           const std::string& relative, const std::string& page_path);

// The warning that the page `page_path` replaces a file this run wrote there before.
std::string page_replaced_warning(const std::string& page_path, const std::string& command_file);

// Where the page of the command file at `relative` goes below the output folder: beside it with
// the extension ".htm", or as the settings of `site` place it when there are any.
std::filesystem::path page_place_of(const site_frame* site, const std::filesystem::path& relative);

// The path of that page when the output folder is `output`.
std::string page_path_in(const std::string& output, const std::string& relative,
                         const site_frame* site);
