#include "check.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "checker.h"
#include "console_words.h"
#include "generator.h"
#include "prose_settings.h"
#include "site_settings.h"

int run_check(const check_options& options) {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  const settings_reading settings = read_site_settings(run_input_folder);
  run_prose_settings = prose_settings_of(settings.settings ? &*settings.settings : nullptr);
  for (const std::string& error : settings.errors) {
    ++errors;
    std::cout << error << " [settings]\n";
  }
  const check_totals totals = check_project(
      run_input_folder, settings.settings ? settings.settings->page_extension : ".htm",
      settings_file_present(),
      [&](const std::filesystem::path& file, const std::vector<diagnostic>& found) {
        for (const diagnostic& finding : found) {
          const bool error = finding.level == severity::error;
          ++(error ? errors : warnings);
          std::cout << file.string() << ":" << finding.line << ":" << finding.column << ": "
                    << (error ? "error" : "warning") << ": " << finding.message << " ["
                    << finding.name << "]\n";
        }
      });
  std::cout << counted(errors, "error") << ", " << counted(warnings, "warning") << " in "
            << counted(totals.pages, "page") << "\n";
  const bool failed = !totals.walked || errors > 0 || (options.werror && warnings > 0);
  return failed ? 1 : 0;
}
