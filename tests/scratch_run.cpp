#include "scratch_run.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uid_t nobody = 65534;
constexpr auto run_time_limit = std::chrono::seconds(120);

[[noreturn]] void exec_orvello(const fs::path& binary, const fs::path& work,
                               const run_options& options, int out_fd, int err_fd, int in_fd) {
  if (in_fd >= 0) {
    dup2(in_fd, STDIN_FILENO);
  }
  dup2(out_fd, STDOUT_FILENO);
  dup2(err_fd, STDERR_FILENO);
  if (chdir(work.c_str()) != 0) {
    _exit(126);
  }
  if (options.file_size_limit) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(*options.file_size_limit),
                       static_cast<rlim_t>(*options.file_size_limit)};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (options.open_files_limit) {
    const rlimit limit{static_cast<rlim_t>(*options.open_files_limit),
                       static_cast<rlim_t>(*options.open_files_limit)};
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (options.one_core) {
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (sched_getaffinity(0, sizeof cores, &cores) == 0) {
      int first = 0;
      while (!CPU_ISSET(first, &cores)) {
        ++first;
      }
      CPU_ZERO(&cores);
      CPU_SET(first, &cores);
      sched_setaffinity(0, sizeof cores, &cores);
    }
  }
  if (options.as_nobody && (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0 ||
                            setresuid(nobody, nobody, nobody) != 0)) {
    _exit(125);
  }
  for (const std::string& setting : options.env) {
    putenv(const_cast<char*>(setting.c_str()));
  }
  if (options.in_process) {
    const int status = options.in_process();
    std::cout.flush();
    std::cerr.flush();
    _exit(status);
  }
  std::vector<char*> argv{const_cast<char*>("orvello")};
  for (const std::string& arg : options.args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  execv(binary.c_str(), argv.data());
  _exit(127);
}

// Reads both pipes to their end; false when the time limit ran out first.
bool drain(int out_fd, int err_fd, std::string& out, std::string& err) {
  const auto deadline = std::chrono::steady_clock::now() + run_time_limit;
  std::array<pollfd, 2> fds{{{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&out, &err};
  int open_pipes = 2;
  char buffer[65536];
  while (open_pipes > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0) {
      return false;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  return true;
}

}  // namespace

void ScratchRun::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "orvello-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  root = pattern;
  work = root / "work";
  outside = root / "outside";
  fs::create_directories(work);
  fs::create_directories(outside);
  // The unprivileged runs must be able to enter the scratch folder and write site/ in it.
  fs::permissions(root, fs::perms::all);
  fs::permissions(work, fs::perms::all);
}

void ScratchRun::TearDown() {
  fs::remove_all(root);
}

void ScratchRun::write(const std::string& path, std::string_view content) {
  const fs::path full = work / path;
  fs::create_directories(full.parent_path());
  std::ofstream file(full, std::ios::binary);
  file << content;
  ASSERT_TRUE(file.good()) << full;
}

void ScratchRun::write_project(const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [path, content] : files) {
    write("proj/" + path, content);
  }
}

started_run ScratchRun::start(const run_options& options) {
  fs::path binary = options.program.empty() ? fs::path(ORVELLO_BINARY) : options.program;
  if (options.as_nobody) {
    // The build tree may lie where the unprivileged user cannot go (below /root, say).
    const fs::path copy = root / "bin/orvello";
    fs::create_directories(copy.parent_path());
    fs::copy_file(binary, copy, fs::copy_options::overwrite_existing);
    fs::permissions(root / "bin", fs::perms::all);
    binary = copy;
  }
  started_run started;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipes";
    return started;
  }
  int in_fd = -1;
  if (options.input) {
    const fs::path input = root / "stdin";
    std::ofstream(input, std::ios::binary) << *options.input;
    in_fd = open(input.c_str(), O_RDONLY | O_CLOEXEC);
  }
  started.pid = fork();
  if (started.pid == 0) {
    exec_orvello(binary, work, options, out_pipe[1], err_pipe[1], in_fd);
  }
  if (in_fd >= 0) {
    close(in_fd);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  started.out_fd = out_pipe[0];
  started.err_fd = err_pipe[0];
  return started;
}

run_result ScratchRun::run(const run_options& options) {
  started_run started = start(options);
  return finish(started);
}

run_result ScratchRun::finish(started_run& started, int signal) {
  run_result result;
  if (started.pid <= 0) {
    return result;
  }
  if (signal != 0) {
    kill(started.pid, signal);
  }
  const bool ended = drain(started.out_fd, started.err_fd, result.out, result.err);
  close(started.out_fd);
  close(started.err_fd);
  if (!ended) {
    kill(started.pid, SIGKILL);
    ADD_FAILURE() << "orvello did not end within the time limit";
  }
  int status = 0;
  waitpid(started.pid, &status, 0);
  started.pid = -1;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // In the sanitizer build a report from orvello fails the test, whatever else the test checks.
  if (result.err.find("Sanitizer") != std::string::npos ||
      result.err.find("runtime error: ") != std::string::npos) {
    ADD_FAILURE() << "orvello reported a sanitizer finding:\n" << result.err;
  }
  return result;
}

void ScratchRun::expect_pages(const std::vector<page_case>& cases) {
  for (const page_case& page : cases) {
    write("proj/" + page.name + ".orv", page.command_file);
  }
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status) << result.err;
  for (const page_case& page : cases) {
    EXPECT_EQ(page.body, page_body(read("site/" + page.name + ".htm"))) << "page " << page.name;
  }
}

std::string ScratchRun::read(const std::string& path) const {
  std::ifstream file(work / path, std::ios::binary);
  EXPECT_TRUE(file.is_open()) << "cannot read " << path;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

bool ScratchRun::exists(const std::string& path) const {
  return fs::exists(fs::symlink_status(work / path));
}

std::vector<std::string> ScratchRun::tree(const fs::path& folder) const {
  std::vector<std::string> paths;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    std::string path = entry.path().lexically_relative(folder).string();
    if (entry.is_directory() && !entry.is_symlink()) {
      path += "/";
    }
    paths.push_back(path);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream stream{std::string(text)};
  std::string line;
  while (std::getline(stream, line)) {
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> compiled_order(std::string_view out) {
  std::vector<std::string> order;
  const std::string_view marker = "Compiled: ";
  for (const std::string& line : lines_of(out)) {
    if (line.starts_with(marker)) {
      order.push_back(line.substr(marker.size(), line.find(" -> ") - marker.size()));
    }
  }
  return order;
}

std::string page_body(std::string_view page) {
  const std::string_view main_start = "<main id=\"content\" class=\"page\">\n";
  const std::size_t content = page.find(main_start);
  if (content != std::string_view::npos) {  // a page of a site with settings: its blocks
    const std::size_t first = content + main_start.size();
    return std::string(page.substr(first, page.find("  </main>\n", first) - first));
  }
  const std::string_view body_start = "<body>\n";
  const std::size_t start = page.find(body_start);
  const std::size_t end = page.find("  <div class=\"fixed-footer\">");
  if (start == std::string_view::npos || end == std::string_view::npos) {
    ADD_FAILURE() << "not a whole page:\n" << page;
    return {};
  }
  return std::string(page.substr(start + body_start.size(), end - start - body_start.size()));
}

std::string expected_page(std::string_view prefix, bool png_icon, std::string_view body,
                          std::string_view timestamp) {
  std::ostringstream page;
  page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n  <meta charset=\"UTF-8\">\n"
       << "  <title>Orvello Page</title>\n"
       << "  <link rel=\"icon\" type=\"" << (png_icon ? "image/png" : "image/x-icon")
       << "\" href=\"" << prefix << (png_icon ? "favicon.png" : "favicon.ico") << "\">\n"
       << "  <link rel=\"stylesheet\" href=\"" << prefix << "main.css\">\n"
       << "</head>\n<body>\n"
       << body
       << "  <div class=\"fixed-footer\">@This site. All rights reserved. Made with Orvello on "
       << timestamp << "</div>\n</body>\n</html>\n";
  return page.str();
}

std::string footer_time(std::string_view page) {
  const std::string_view marker = "Made with Orvello on ";
  const std::size_t start = page.find(marker);
  if (start == std::string_view::npos) {
    return {};
  }
  const std::size_t from = start + marker.size();
  return std::string(page.substr(from, page.find("</div>", from) - from));
}
