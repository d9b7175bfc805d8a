#include "check.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "checker.h"
#include "site_settings.h"

namespace {

// "1 error", "2 warnings".
std::string counted(std::size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

int run_check(const check_options& options) {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  const settings_reading settings = read_site_settings("proj");
  for (const std::string& error : settings.errors) {
    ++errors;
    std::cout << error << " [settings]\n";
  }
  const check_totals totals =
      check_project("proj", settings.settings ? settings.settings->page_extension : ".htm",
                    settings_file_present(),
                    [&](const std::filesystem::path& file, const std::vector<diagnostic>& found) {
                      for (const diagnostic& finding : found) {
                        const bool error = finding.level == severity::error;
                        ++(error ? errors : warnings);
                        std::cout << file.string() << ":" << finding.line << ":" << finding.column
                                  << ": " << (error ? "error" : "warning") << ": "
                                  << finding.message << " [" << finding.name << "]\n";
                      }
                    });
  std::cout << counted(errors, "error") << ", " << counted(warnings, "warning") << " in "
            << counted(totals.pages, "page") << "\n";
  const bool failed = !totals.walked || errors > 0 || (options.werror && warnings > 0);
  return failed ? 1 : 0;
}
