// orvello check: reads proj/ as a build would and reports the mistakes the page language
// accepts without a word, at file and line.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "checker.h"

// What the check counts as failure.
struct check_options {
  bool werror = false;  // warnings count as errors
};

// Checks proj/ in the working folder, writing nothing; returns 1 when there is an error, else 0.
int run_check(const check_options& options);

// The line that ends the build of a site with settings: how many findings orvello check has, and
// that it shows them ("[ORVELLO] 3 findings (1 error, 2 warnings): run 'orvello check' to see
// them", or "[ORVELLO] 0 findings by 'orvello check'"). It reads only proj/ and the settings, so
// it may run beside the build; the errors its walk meets go to `walk_errors`.
std::string findings_line(std::ostream& walk_errors);

// A finding's line as orvello check prints it:
// "proj/about.orv:5:1: error: @text is never closed ... [unclosed-block]".
std::string finding_line(const std::filesystem::path& file, const diagnostic& finding);

// Reads orvello.toml and the listing of proj/ into `project` as check does, and sets the run's
// prose settings from them; returns the settings' errors.
std::vector<std::string> read_checked_project(project_folder& project);
