// The run that builds site/ from proj/: the banner, then five steps, each announced and closed
// on the console.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The version the banner shows.
inline constexpr std::string_view orvello_version = "1-10.2026";

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

// Runs the five steps in the working folder with `timestamp` in the footers, the pages followed
// by `observer` when it is not null; 0 when all succeed, 1 when one fails (the later steps are not
// run).
int run_generator(const std::string& timestamp, const page_observer* observer = nullptr);
