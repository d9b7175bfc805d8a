#include "check.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "checker.h"
#include "console_words.h"
#include "generator.h"
#include "prose_settings.h"
#include "site_settings.h"

namespace {

// Checks proj/ and the settings, calling `report` with each finding's line as check prints it
// and whether it is an error, and writing the walk's errors to `errors`; returns what the walk met.
check_totals check_all(const std::function<void(const std::string& line, bool error)>& report,
                       std::ostream& errors) {
  project_folder project;
  for (const std::string& error : read_checked_project(project)) {
    report(error + " [settings]", true);
  }
  errors << project.walk_errors;
  return check_project(project, [&](const std::filesystem::path& file, const file_findings& found) {
    for (const diagnostic& finding : found.found) {
      report(finding_line(file, finding), finding.level == severity::error);
    }
  });
}

}  // namespace

int run_check(const check_options& options) {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  const check_totals totals = check_all(
      [&](const std::string& line, bool error) {
        ++(error ? errors : warnings);
        std::cout << line << "\n";
      },
      std::cerr);
  std::cout << counted(errors, "error") << ", " << counted(warnings, "warning") << " in "
            << counted(totals.pages, "page") << "\n";
  const bool failed = !totals.walked || errors > 0 || (options.werror && warnings > 0);
  return failed ? 1 : 0;
}

std::string findings_line(std::ostream& walk_errors) {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  check_all([&](const std::string&, bool error) { ++(error ? errors : warnings); }, walk_errors);
  const std::size_t found = errors + warnings;
  if (found == 0) {
    return "[ORVELLO] 0 findings by 'orvello check'";
  }
  return "[ORVELLO] " + counted(found, "finding") + " (" + counted(errors, "error") + ", " +
         counted(warnings, "warning") + "): run 'orvello check' to see them";
}

std::string finding_line(const std::filesystem::path& file, const diagnostic& finding) {
  const bool error = finding.level == severity::error;
  return file.string() + ":" + std::to_string(finding.line) + ":" + std::to_string(finding.column) +
         ": " + (error ? "error" : "warning") + ": " + finding.message + " [" +
         std::string(finding.name) + "]";
}

std::vector<std::string> read_checked_project(project_folder& project) {
  const settings_reading settings = read_site_settings(run_input_folder);
  read_project_folder(
      run_input_folder, settings.settings ? settings.settings->page_extension : ".htm",
      settings_file_present(), prose_settings_of(settings.settings ? &*settings.settings : nullptr),
      project);
  return settings.errors;
}
