// orvello check: reads proj/ as a build would and reports the mistakes the page language
// accepts without a word, at file and line.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// What the check counts as failure.
struct check_options {
  bool werror = false;  // warnings count as errors
};

// Checks proj/ in the working folder, writing nothing; returns 1 when there is an error, else 0.
int run_check(const check_options& options);

// The line that ends the build of a site with settings: how many findings orvello check has, and
// that it shows them ("[ORVELLO] 3 findings (1 error, 2 warnings): run 'orvello check' to see
// them", or "[ORVELLO] 0 findings by 'orvello check'"). It checks from the start of a run and
// leaves the run-wide records as it found them.
std::string findings_line();

// The lines that orvello check prints for the command files `pages`, in check's order, from the
// start of a run; it leaves the run-wide records as it found them.
std::vector<std::string> findings_of(const std::vector<std::filesystem::path>& pages);
