// The analysis behind orvello check: reads command files as a run does, through the run's own
// routing and block handlers, and finds the mistakes that the page language accepts without a word.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "block_records.h"
#include "prose_settings.h"

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

// The files a run leaves below the output folder (copies, pages and the stylesheet), by folder
// ("docs", "" for the top) and by name, to suggest the one an address nearly names.
struct site_listing {
  std::unordered_map<std::string, std::vector<std::string>> names_in_folder;
  std::unordered_map<std::string, std::vector<std::string>> folders_of_name;
};

// A command file, as the walk forms its path ("proj/docs/guide.orv") and with its place below
// the input and the output folder ("docs/guide.orv").
struct command_file_place {
  std::filesystem::path file;
  std::filesystem::path place;
};

// The project around the command files: what a run reads and where it places it.
struct project_folder {
  std::filesystem::path input;     // as named, e.g. "proj"
  std::filesystem::path resolved;  // `input` resolved, to tell links that leave it
  std::vector<std::string> extensions;
  std::string page_extension = ".htm";     // of the pages, as the settings name it
  bool page_blocks = false;                // orvello.toml is there, so @page is a block
  site_listing site;                       // empty when unknown: then no address gets a suggestion
  prose_settings prose;                    // what the settings turn on for prose and listings
  std::vector<command_file_place> files;   // every regular file of the walk, in its order
  std::unordered_set<std::string> walked;  // the same files, by path as the walk forms it
  std::unordered_set<std::string> held;    // places the site holds for sure, reached without a link
  bool walk_complete = false;              // false when the walk met an error
  std::string walk_errors;                 // the error lines it met, for the check to print
};

// Reads the lines of one command file from `source` through the run's routing and block handlers,
// which change `records` as a run changes the records it carries while writing nothing, and
// returns the findings in line order. Text and code blocks read their files from the command
// file's folder, as in a run.
std::vector<diagnostic> check_command_lines(std::istream& source, const command_file_place& page,
                                            const project_folder& project, block_records& records);

// A place below the output folder that an address names ("img/forest.png"), and whether the
// site holds it.
struct named_place {
  std::string place;
  bool held = false;
};

// What check finds in a command file, and the kind that took each of its lines.
struct checked_text {
  std::vector<diagnostic> found;
  std::vector<std::string_view> kinds;  // a line's kind by its opening line ("@page" for the
                                        // lines of that block); empty when none
  std::vector<named_place> named;       // in the order its addresses name them
};

// As check_command_lines, and says which kind the routing gave each line.
checked_text check_command_text(std::istream& source, const command_file_place& page,
                                const project_folder& project, block_records& records);

// The CSS that a length setting becomes in the page.
struct css_length {
  std::string property;  // "width", "height" or "font-size"; empty when no style is written
  std::string written;   // the value as written, unit rule applied
  bool taken = true;     // whether browsers take it
  std::string advice;    // a form that works, when they do not
};

// What the value of the key `key` ("width") of the kind opened by `opening` ("@image") becomes
// in the page; nothing when that key is no length.
std::optional<css_length> css_length_of(std::string_view opening, std::string_view key,
                                        std::string_view value);

// Reads the command files of the project's walk as check does, in the walk's order,
// up to `file`, which it does not read, and so leaves in `records` (fresh when called) the records
// as check finds them when it reaches `file`; false when the walk never met `file`.
bool read_pages_before(const project_folder& project, const std::filesystem::path& file,
                       block_records& records);

// What a check of the whole project met.
struct check_totals {
  bool walked = false;  // false when the walk could not complete (its error line is printed)
  std::size_t pages = 0;
};

// The project below `input`, its pages ending in `page_extension`, `@page` a block when
// `page_blocks` and `prose` turned on as the settings say, with its files and the listing of its
// site from one walk that prints nothing (check_project prints its errors).
void read_project_folder(const std::string& input, std::string_view page_extension,
                         bool page_blocks, const prose_settings& prose, project_folder& project);

// Whether the site of a run holds `relative`: a folder, a copied file, the stylesheet, or a page
// compiled from a command file of the same name.
bool site_holds(const std::filesystem::path& relative, const project_folder& project);

// What check finds in one file below the input folder, and the places its addresses name.
struct file_findings {
  std::vector<diagnostic> found;  // in line order
  std::vector<named_place> named;
};

// Checks one file below the input folder as check_project does when the walk meets it: a command
// file from `records` (which it changes as a run changes the records it carries), any other file
// for what a run makes of its name. `pages_met` holds the pages met so far that have a twin.
file_findings check_input_file(const command_file_place& file, const project_folder& project,
                               std::unordered_set<std::string>& pages_met, block_records& records);

// Checks every file below the project's input folder in the order a run meets them, from the
// records a run starts with, calling `report` with the path and what check found of each file.
// The walk's errors are the caller's to print (`project.walk_errors`).
check_totals check_project(
    const project_folder& project,
    const std::function<void(const std::filesystem::path& file, const file_findings&)>& report);
