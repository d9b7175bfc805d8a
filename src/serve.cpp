#include "serve.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <iostream>
#include <thread>

#include "check.h"
#include "console_capture.h"
#include "console_words.h"
#include "file_watcher.h"
#include "generator.h"
#include "preview_server.h"
#include "serve_findings.h"
#include "site_lock.h"
#include "site_rebuild.h"

namespace {

// Runs `build` and returns the lines it wrote to standard error.
template <typename Build>
std::vector<std::string> error_lines_of(Build&& build) {
  text_sink copy(std::cerr.rdbuf(), true);  // the lines reach the console and the open pages
  {
    const stream_redirect redirect(std::cerr, &copy);
    build();
  }
  return lines_from(copy.text, 0);
}

bool is_loopback(const std::string& address) {
  return address == "localhost" || address == "::1" || address.starts_with("127.");
}

std::string address_to_open(const std::string& bind, int port) {
  std::string host = bind == "0.0.0.0" || bind == "::" ? "127.0.0.1" : bind;
  if (host.find(':') != std::string::npos) {
    host = "[" + host + "]";
  }
  return "http://" + host + ":" + std::to_string(port) + "/";
}

std::string what_changed(const change_batch& batch) {
  if (batch.overflowed) {
    return "events were lost, full rebuild";
  }
  if (batch.paths.empty()) {
    return "a change";
  }
  return batch.paths.front() +
         (batch.paths.size() > 1 ? " and " + std::to_string(batch.paths.size() - 1) + " more" : "");
}

std::string rebuild_line(const change_batch& batch, const rebuild_report& report,
                         std::chrono::milliseconds took) {
  return std::string(report.succeeded ? "Rebuilt" : "Rebuild FAILED") + " (" + what_changed(batch) +
         ") in " + std::to_string(took.count()) + " ms: " + counted(report.pages_compiled, "page") +
         " compiled, " + counted(report.files_copied, "file") + " copied, " +
         std::to_string(report.files_removed) + " removed" + (report.full ? ", full" : "") +
         (report.problems.empty() ? "" : ", " + counted(report.problems.size(), "problem"));
}

// The stop signals, taken by one thread with sigwait; every other thread blocks them.
sigset_t stop_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

using stamp = std::optional<std::pair<std::uint64_t, std::int64_t>>;

// What the serving threads share with the thread that waits for Ctrl+C.
struct serving {
  preview_server& server;
  int stop_fd;
  stamp built;                                 // site/ as this serve's last build left it
  std::filesystem::file_time_type read_since;  // when the last build started reading
  kept_findings& findings;                     // orvello check's findings as of the last build
  std::atomic<bool> ending{false};
};

// Prints the findings under the build's line, indented.
void print_findings(const std::vector<std::string>& findings) {
  for (const std::string& finding : findings) {
    std::cout << "  " << finding << "\n";
  }
  std::cout.flush();
}

// Ends everything at once: the server's connections and streams, and the wait for changes.
void stop_serving(serving& session) {
  if (!session.ending.exchange(true)) {
    stop_preview(session.server);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(session.stop_fd, &one, sizeof one);
  }
}

void wait_for_stop_signal(serving& session) {
  const sigset_t signals = stop_signals();
  int signal = 0;
  sigwait(&signals, &signal);
  stop_serving(session);
}

void rebuild_once(rebuild_state& state, const change_batch& batch, const std::string& timestamp,
                  serving& session) {
  const held_lock writing = lock_site(run_input_folder, site_use::build, std::cerr);
  const bool behind = site_stamp(run_output_folder) != session.built;
  if (behind) {
    std::cout << "site/ was built by another run meanwhile; rebuilding in full" << std::endl;
  }
  const auto started = std::chrono::steady_clock::now();
  session.read_since = std::filesystem::file_time_type::clock::now();
  rebuild_report report;
  state.changed.assign(batch.paths.begin(), batch.paths.end());
  state.changed_known = !batch.overflowed;
  std::vector<std::string> findings;
  const page_looks looks = looks_for_rebuild(session.findings, state.changed, findings);
  const std::vector<std::string> printed = error_lines_of(
      [&] { report = rebuild_site(state, !batch.overflowed && !behind, timestamp, &looks); });
  if (report.full) {
    findings = find_everything(session.findings);
  }
  session.built = site_stamp(run_output_folder);
  if (report.problems.empty()) {
    report.problems = printed;
  }
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  std::cout << rebuild_line(batch, report, took) << std::endl;
  if (printed.empty()) {  // lines the rebuild printed itself are on the console already
    for (const std::string& problem : report.problems) {
      std::cerr << "  " << problem << "\n";
    }
  }
  print_findings(findings);
  announce_build(session.server, report.succeeded, report.problems,
                 {findings, findings_by_page(session.findings, state.frame.get())});
}

void watch_and_rebuild(file_watcher& watcher, rebuild_state& state, const serve_options& options,
                       const std::string& timestamp, serving& session) {
  watch_files(watcher, external_inputs(state), session.read_since);
  std::cout << "Serving site/ at " << address_to_open(options.bind, preview_port(session.server))
            << " (Ctrl+C to stop)" << std::endl;
  while (std::optional<change_batch> batch = wait_for_changes(watcher, session.stop_fd)) {
    if (!batch->notice.empty()) {
      std::cerr << batch->notice << std::endl;
    }
    rebuild_once(state, *batch, timestamp, session);
    watch_files(watcher, external_inputs(state), session.read_since);
  }
}

// Every open connection holds a descriptor: the soft limit is raised towards the hard one, so that
// a thousand slow clients do not use up what the rebuilds need.
void raise_open_files_limit() {
  constexpr rlim_t wanted = 8192;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < wanted) {
    limit.rlim_cur = std::min(limit.rlim_max, wanted);
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

preview_settings preview_settings_of(const serve_options& options) {
  preview_settings settings;
  settings.bind = options.bind;
  settings.port = options.port;
  settings.port_given = options.port_given;
  settings.reload = options.reload;
  return settings;
}

// Serves and rebuilds until a stop signal. The server may take a moment to close its
// connections after the stop; the process does not wait long for it, since nothing is left to do.
int serve_until_stopped(preview_server& server, file_watcher& watcher, rebuild_state& state,
                        kept_findings& findings, const serve_options& options,
                        const std::string& timestamp, const stamp& built,
                        std::filesystem::file_time_type read_since) {
  serving session{server, eventfd(0, EFD_CLOEXEC), built, read_since, findings, {}};
  std::thread signals(wait_for_stop_signal, std::ref(session));
  std::promise<bool> served;
  std::future<bool> outcome = served.get_future();
  std::thread http([&session, &served] {
    served.set_value(serve_preview(session.server));
    stop_serving(session);  // a server that failed ends the session too
  });
  watch_and_rebuild(watcher, state, options, timestamp, session);
  stop_serving(session);
  pthread_kill(signals.native_handle(), SIGTERM);  // it may still wait for a signal
  signals.join();
  if (outcome.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
    std::cout.flush();
    _exit(0);
  }
  http.join();
  close(session.stop_fd);
  if (!outcome.get()) {
    std::cerr << "orvello: the preview server stopped unexpectedly" << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace

watch_settings watch_settings_of(const serve_options& options) {
  watch_settings settings;
  settings.folder = run_input_folder;
  settings.poll = options.poll;
  return settings;
}

int run_serve(const serve_options& options, const std::string& timestamp) {
  // As a run does it, but now: it replaces the console's buffers, which would drop the copies
  // that error_lines_of makes.
  std::ios::sync_with_stdio(false);
  // Each thread (the server's, the rebuilds' helpers) would otherwise get a heap arena of its own,
  // and a long session keep each one's high-water mark.
  mallopt(M_ARENA_MAX, 2);
  raise_open_files_limit();
  const sigset_t signals = stop_signals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before any thread starts, so all inherit it
  const std::optional<held_lock> claim = claim_serving(".");
  if (!claim) {
    std::cerr << "orvello: another orvello serve is running in this folder; stop it first"
              << std::endl;
    return 1;
  }
  std::string error;
  const preview_handle server = open_preview(preview_settings_of(options), error);
  if (!server) {
    std::cerr << "orvello: " << error << std::endl;
    return 1;
  }
  if (!is_loopback(options.bind)) {
    std::cerr << "orvello: warning: listening on " << options.bind
              << ", so the preview is reachable from the network" << std::endl;
  }
  if (!options.port_given && preview_port(*server) != options.port) {
    std::cout << "Port " << options.port << " is taken; using " << preview_port(*server)
              << " instead." << std::endl;
  }
  // Watching starts before the first build, so that a file saved while it runs is not missed.
  std::string notice;
  const watcher_handle watcher = open_watcher(watch_settings_of(options), notice);
  if (!notice.empty()) {
    std::cerr << notice << std::endl;
  }
  rebuild_state state;
  int status = 0;
  stamp built;
  const auto read_since = std::filesystem::file_time_type::clock::now();
  std::vector<std::string> problems;
  {
    const held_lock writing = lock_site(run_input_folder, site_use::build, std::cerr);
    problems = error_lines_of([&] { status = build_and_remember(state, timestamp); });
    built = site_stamp(run_output_folder);
  }
  if (status != 0 && !std::filesystem::is_directory(run_input_folder)) {
    return status;
  }
  kept_findings kept;
  const std::vector<std::string> findings = find_everything(kept);
  print_findings(findings);
  announce_build(*server, status == 0, problems,
                 {findings, findings_by_page(kept, state.frame.get())});
  return serve_until_stopped(*server, *watcher, state, kept, options, timestamp, built, read_since);
}
