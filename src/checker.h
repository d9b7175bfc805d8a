// The analysis behind orvello check: reads command files as a run does, through the run's own
// routing and block handlers, and finds the mistakes that the page language accepts without a word.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

// How sure a finding is: an error when content is lost or a link is broken for sure.
enum class severity { warning, error };

// One finding at a line and a column (both counted from 1, the column in bytes) of its file.
struct diagnostic {
  std::size_t line = 1;
  std::size_t column = 1;
  severity level = severity::warning;
  std::string_view name;  // the finding's stable name, shown in brackets
  std::string message;
};

// The project around the command files: what a run reads and where it places it.
struct project_folder {
  std::filesystem::path input;     // as named, e.g. "proj"
  std::filesystem::path resolved;  // `input` resolved, to tell links that leave it
  std::vector<std::string> extensions;
  std::string page_extension = ".htm";  // of the pages, as the settings name it
  bool page_blocks = false;             // orvello.toml is there, so @page is a block
};

// A command file, as the walk forms its path ("proj/docs/guide.orv") and with its place below
// the input and the output folder ("docs/guide.orv").
struct command_file_place {
  std::filesystem::path file;
  std::filesystem::path place;
};

// Reads the lines of one command file from `source` through the run's routing and block handlers,
// which change the run-wide records as in a run while writing nothing, and returns the findings
// in line order. Text and code blocks read their files from the command file's folder, as in a run.
std::vector<diagnostic> check_command_lines(std::istream& source, const command_file_place& page,
                                            const project_folder& project);

// What a check of the whole project met.
struct check_totals {
  bool walked = false;  // false when the walk could not complete (its error line is printed)
  std::size_t pages = 0;
};

// Checks every file below `input` in the order a run meets them, calling `report` with the path
// and the findings (in line order) of each file that has any; `page_extension` and `page_blocks`
// are as the settings say.
check_totals check_project(const std::string& input, std::string_view page_extension,
                           bool page_blocks,
                           const std::function<void(const std::filesystem::path& file,
                                                    const std::vector<diagnostic>&)>& report);
