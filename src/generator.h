// The run that builds site/ from proj/: the banner, then five steps, each announced and closed
// on the console.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The version the banner shows.
inline constexpr std::string_view orvello_version = "1-10.2026";

// The folder a run reads, and the folder it writes, both in the working folder.
inline const std::string run_input_folder = "proj";
inline const std::string run_output_folder = "site";

// The extensions of command files: a file whose name ends in one of them exactly becomes a page.
std::vector<std::string> command_file_extensions();

// The footer time of a run that starts now: the local time, or the instant `source_date_epoch`
// (seconds since 1970, UTC) when it is given, so that two runs write the same pages.
std::string footer_time_text(std::optional<long long> source_date_epoch);

// The value of SOURCE_DATE_EPOCH: nothing when it is unset, else the whole number it holds; an
// error message (without a line end) when it holds anything else.
struct source_date_epoch_setting {
  std::optional<long long> seconds;
  std::string error;
};
source_date_epoch_setting read_source_date_epoch();

struct page_observer;
struct walk_listing;
struct site_frame;

// Reads orvello.toml into `site` with the build date of `timestamp` (left empty when there is no
// such file); false, after its error lines, when the file cannot be used.
bool load_site_frame(const std::string& input, const std::string& timestamp,
                     std::optional<site_frame>& site);

// Step 4: main.css, the site's sheet when there are settings.
bool write_main_css(const std::string& output, const site_frame* site);

// Step 5: the pages, followed by `observer` when it is not null, and with settings first the map
// of the site, and after them the files a host reads (sitemap.xml, feed.xml). The walk goes over
// `listing` when it is given and complete.
bool compile_site(const std::string& input, const std::string& output,
                  const std::vector<std::string>& extensions, site_frame* site,
                  const page_observer* observer, const walk_listing* listing = nullptr);

// "2026-12-07" for the footer time "07-12-2026 at 09:15:02".
std::string iso_date_of(const std::string& timestamp);

// Runs the five steps in the working folder with `timestamp` in the footers, the pages followed
// by `observer` when it is not null; 0 when all succeed, 1 when one fails (the later steps are not
// run).
int run_generator(const std::string& timestamp, const page_observer* observer = nullptr);
