#include "generator.h"

#include "check.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <future>
#include <iostream>
#include <sstream>
#include <system_error>
#include <vector>

#include "input_walk.h"
#include "page_frame.h"
#include "page_pipeline.h"
#include "prose_settings.h"
#include "site_feeds.h"
#include "site_stylesheet.h"
#include "utils.h"

namespace {

void print_banner() {
  const std::string version_line = "APP VERSION: " + std::string(orvello_version);
  for (const char* line :
       {"***************************", version_line.c_str(), "AUTHOR ....: The Orvello authors",
        "COUNTRY ...: International", "SITE: .....: https://orvello.example", "LICENSE ...: MIT",
        "***************************", "", "[ORVELLO] START GENERATOR"}) {
    std::cout << line << std::endl;
  }
}

// Runs one step of the run between its STARTED line and its COMPLETED or FAILED line.
template <typename Step>
bool run_step(int number, std::string_view description, Step step) {
  std::cout << "[ORVELLO] STARTED Step " << number << "/5 - " << description << std::endl;
  bool succeeded = false;
  try {
    succeeded = step();
  } catch (const std::exception& error) {  // such as memory exhaustion: fail the step, not abort
    std::cerr << "Error: " << error.what() << "\n";
  }
  std::cout << "[ORVELLO] " << (succeeded ? "COMPLETED" : "FAILED") << " Step " << number << "/5"
            << std::endl;
  return succeeded;
}

// False, with the walking steps' message, when `input` is certainly missing: then there is
// nothing to build from and site/ must survive. A test that itself fails leaves the decision to
// the later steps, which report the cause.
bool source_folder_present(const std::string& input) {
  std::error_code error;
  if (std::filesystem::exists(input, error) || error) {
    return true;
  }
  std::cerr << "Error: Source directory '" << input << "' does not exist.\n";
  return false;
}

}  // namespace

std::vector<std::string> command_file_extensions() {
  return {".orv", ".c", ".cpp"};
}

std::string footer_time_text(std::optional<long long> source_date_epoch) {
  std::tm calendar{};
  if (source_date_epoch) {
    const std::time_t seconds = static_cast<std::time_t>(*source_date_epoch);
    gmtime_r(&seconds, &calendar);
  } else {
    const std::time_t seconds =
        std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    localtime_r(&seconds, &calendar);
  }
  char text[64];
  std::strftime(text, sizeof text, "%d-%m-%Y at %H:%M:%S", &calendar);
  return text;
}

source_date_epoch_setting read_source_date_epoch() {
  const char* value = std::getenv("SOURCE_DATE_EPOCH");
  if (value == nullptr) {
    return {};
  }
  const std::string text = value;
  const bool digits_only =
      !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  errno = 0;
  char* end = nullptr;
  const long long seconds = digits_only ? std::strtoll(text.c_str(), &end, 10) : -1;
  // Up to the last second of year 9999, which the footer's four-digit year can show.
  if (!digits_only || errno == ERANGE || seconds > 253402300799LL) {
    return {std::nullopt,
            "SOURCE_DATE_EPOCH must be a whole number of seconds since 1970 (from 0 "
            "to 253402300799), not '" +
                text + "'"};
  }
  return {seconds, ""};
}

bool load_site_frame(const std::string& input, const std::string& timestamp,
                     std::optional<site_frame>& site) {
  site.reset();
  settings_reading reading = read_site_settings(input);
  for (const std::string& error : reading.errors) {
    std::cerr << error << "\n";
  }
  if (reading.settings) {
    site = site_frame{std::move(*reading.settings), {}, iso_date_of(timestamp)};
  }
  return reading.errors.empty();
}

bool write_main_css(const std::string& output, const site_frame* site) {
  return site != nullptr ? create_main_css(output, site_stylesheet(site->settings.theme))
                         : create_main_css(output);
}

bool compile_site(const std::string& input, const std::string& output,
                  const std::vector<std::string>& extensions, site_frame* site,
                  const page_observer* observer, const walk_listing* listing,
                  std::optional<unsigned> compilers) {
  page_pipeline_request request = page_request(input, output, extensions);
  request.listing = listing;
  request.compilers = compilers.value_or(request.compilers);
  const page_pipeline_hooks hooks{observer, {}};
  if (site == nullptr) {
    return run_page_pipeline(request, hooks);
  }
  site->map = read_site_map(input, extensions, site->settings.page_extension, listing);
  request.site = site;
  return run_page_pipeline(request, hooks) && write_site_feeds(output, *site);
}

std::string iso_date_of(const std::string& timestamp) {
  if (timestamp.size() < 10) {
    return timestamp;
  }
  return timestamp.substr(6, 4) + "-" + timestamp.substr(3, 2) + "-" + timestamp.substr(0, 2);
}

int run_generator(const std::string& timestamp, const page_observer* observer,
                  std::optional<unsigned> compilers) {
  // The console lines that must reach the user at once are flushed explicitly.
  std::ios::sync_with_stdio(false);
  const auto start = std::chrono::system_clock::now();
  build_timestamp = timestamp;
  print_banner();

  const std::string& input = run_input_folder;
  const std::string& output = run_output_folder;
  const std::vector<std::string> extensions = command_file_extensions();
  std::optional<site_frame> site;
  if (!load_site_frame(input, timestamp, site)) {
    return 1;  // before step 1, so that site/ survives
  }
  site_frame* const framed = site ? &*site : nullptr;
  // The findings count reads only proj/, so it runs beside the build, on a core the build leaves.
  std::ostringstream findings_walk_errors;
  std::future<std::string> findings;
  if (framed != nullptr) {
    findings = std::async(std::launch::async | std::launch::deferred,
                          [&] { return findings_line(findings_walk_errors); });
  }
  const prose_settings prose = prose_settings_of(framed ? &framed->settings : nullptr);
  walk_listing listing;  // step 2 reads the input folder; steps 3 and 5 walk what it found
  const bool generated =
      run_step(1, "delete 'site' dir",
               [&] { return source_folder_present(input) && delete_directory(output); }) &&
      run_step(2, "replicated 'proj' dir structure to 'site'",
               [&] { return replicate_directory_structure(input, output, &listing); }) &&
      run_step(3, "copied non-command files from 'proj' dir to 'site' dir",
               [&] {
                 return copy_non_command_files(input, output,
                                               extensions_not_copied(prose, extensions), &listing);
               }) &&
      run_step(4, "generated main.css in 'site' dir",
               [&] { return write_main_css(output, framed); }) &&
      run_step(5, "process command files in 'proj' dir to 'site' dir", [&] {
        return compile_site(input, output, extensions, framed, observer, &listing, compilers);
      });
  if (!generated) {
    return 1;
  }

  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now() - start);
  std::cout << "[ORVELLO] Generated site in " << elapsed.count() << " ms" << std::endl;
  std::cout << "[ORVELLO] END GENERATOR" << std::endl;
  if (framed != nullptr) {
    const std::string line = findings.get();
    std::cerr << findings_walk_errors.str();
    std::cout << line << std::endl;
  }
  return 0;
}
