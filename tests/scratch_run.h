// Runs the built orvello in a fresh scratch folder and reads back what it did.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What one run of orvello left behind on the console.
struct run_result {
  int exit_status = -1;  // -1 when the run was killed (a signal, or the time limit)
  std::string out;
  std::string err;
};

// An orvello started in the background, with the read ends of its console.
struct started_run {
  pid_t pid = -1;
  int out_fd = -1;
  int err_fd = -1;
};

// How to start the run.
struct run_options {
  bool as_nobody = false;                // drop to an unprivileged user and group
  std::optional<long> file_size_limit;   // bytes; SIGXFSZ ignored so writes fail instead
  std::optional<long> open_files_limit;  // file descriptors the run may hold
  bool one_core = false;                 // run on one core, where no helper thread starts
  std::filesystem::path program;         // run instead of the one built (a copy elsewhere)
  std::vector<std::string> args;         // the command line after the program's name
  std::vector<std::string> env;          // NAME=value settings added to the environment
  std::optional<std::string> input;      // the bytes of standard input, else what the test has
  // Run in the started process instead of the program, with everything above set up; its result
  // is the exit status.
  std::function<int()> in_process;
};

// A run with the command line `args`.
inline run_options with_args(std::vector<std::string> args) {
  run_options options;
  options.args = std::move(args);
  return options;
}

// A run as an unprivileged user, for whom permissions hold.
inline run_options as_nobody() {
  run_options options;
  options.as_nobody = true;
  return options;
}

// A run whose writes fail once a file would grow beyond `bytes` (a full disk).
inline run_options with_file_size_limit(long bytes) {
  run_options options;
  options.file_size_limit = bytes;
  return options;
}

// A test in its own scratch folder: `work` is where orvello runs, `outside` lies beside it, and
// unprivileged runs start a copy of the program from `bin`.
class ScratchRun : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `content` to `path` below the working folder, creating its folders.
  void write(const std::string& path, std::string_view content);
  // Writes each (path below proj, content) pair.
  void write_project(const std::vector<std::pair<std::string, std::string>>& files);
  run_result run(const run_options& options = {});
  // Starts orvello without waiting for it; `finish` must follow.
  started_run start(const run_options& options = {});
  // Sends `signal` (none when 0), waits for the run to end and reads the rest of its console.
  run_result finish(started_run& started, int signal = 0);

  // The bytes of `path` below the working folder.
  std::string read(const std::string& path) const;
  bool exists(const std::string& path) const;
  // Every path below `folder` (relative to it, sorted), folders marked with a trailing "/".
  std::vector<std::string> tree(const std::filesystem::path& folder) const;

  // One page per case, all compiled in a single run: proj/<name>.orv holds `command_file`, and the
  // page's body must equal `body`. Each case opens its own blocks, so the order of pages is moot.
  struct page_case {
    std::string name;
    std::string command_file;
    std::string body;
  };
  void expect_pages(const std::vector<page_case>& cases);

  std::filesystem::path root;
  std::filesystem::path work;
  std::filesystem::path outside;
};

// The lines of `text`, each without its line feed.
std::vector<std::string> lines_of(std::string_view text);

// The relative paths of the "Compiled: " lines, in the order the run compiled them.
std::vector<std::string> compiled_order(std::string_view out);

// What a page holds between its head and its footer (on a site with settings, inside <main>).
std::string page_body(std::string_view page);

// A whole page as the compiler writes it.
std::string expected_page(std::string_view prefix, bool png_icon, std::string_view body,
                          std::string_view timestamp);

// The footer time of a page ("07-12-2026 at 09:15:02").
std::string footer_time(std::string_view page);
