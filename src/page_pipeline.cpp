#include "page_pipeline.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <system_error>

#include "console_capture.h"
#include "external_reads.h"
#include "highlight.h"
#include "input_walk.h"
#include "job_pool.h"
#include "ordered_console.h"
#include "page_batches.h"
#include "page_context.h"
#include "page_files.h"
#include "page_frame.h"
#include "page_report.h"

namespace fs = std::filesystem;

namespace {

// What a thread preparing a batch holds: the batch's two folders, a command file and its page.
constexpr std::size_t descriptors_per_preparer = 4;

}  // namespace

pipeline_windows pipeline_windows_for(std::size_t spare) {
  // A batch is worth a wake-up; beyond these the helpers gain nothing.
  constexpr std::size_t most_helpers = 64;
  constexpr std::size_t pages_per_batch = 32;
  constexpr std::size_t batches_ahead = 8;
  pipeline_windows windows;
  const std::size_t preparers = spare / descriptors_per_preparer;  // the walk's thread is one
  windows.helpers = std::min(most_helpers, preparers > 0 ? preparers - 1 : 0);
  if (windows.helpers > 0) {
    windows.pages_per_batch = pages_per_batch;
    windows.batches_ahead = batches_ahead;
  }
  return windows;
}

std::size_t pipeline_descriptors(const pipeline_windows& windows) {
  return windows.helpers > 0 ? descriptors_per_preparer * (windows.helpers + 1) : 0;
}

page_pipeline_request page_request(const std::string& input, const std::string& output,
                                   const std::vector<std::string>& extensions) {
  const unsigned cores = usable_cores();
  page_pipeline_request request{input, output, extensions,
                                pipeline_windows_for(spare_descriptors())};
  request.compilers = cores > 1 ? cores - 1 : 0;
  return request;
}

namespace {

// Within one run every file below the output folder was written by the run itself, so a file
// already at a page's place is an asset or an earlier page that this page now replaces.
void warn_if_replacing(const std::string& page_path, const std::string& command_file) {
  std::error_code error;
  if (fs::is_regular_file(fs::symlink_status(fs::path(page_path), error))) {
    std::cerr << page_replaced_warning(page_path, command_file);
  }
}

// What the pages of one run share. The walk's thread gathers command files into batches and hands
// them to the helpers; it takes the batches in walk order, and each page at its turn.
struct page_run {
  page_run(const page_pipeline_request& request, const page_pipeline_hooks& run_hooks);
  ~page_run();
  page_run(const page_run&) = delete;
  page_run& operator=(const page_run&) = delete;
  const page_pipeline_hooks& hooks;
  pipeline_windows windows;
  input_tree tree;
  std::string output;
  ahead_rules rules;
  std::string known_folder;  // the folder of the last page, made sure of
  ordered_reports reports;
  bool pages_withdrawn = false;  // no page has been created ahead since
  external_reads reads;          // how the page being compiled reads its external files
  page_context context;          // the records carried from page to page, in walk order
  error_lines errors;            // of the pages compiled at their turn
  job_pool helpers;
  std::shared_ptr<page_batch> gathering;            // not handed over yet
  std::deque<std::shared_ptr<page_batch>> batches;  // handed over, oldest first
  std::size_t turn = 0;                             // the page of the oldest at its turn
  std::vector<std::shared_ptr<page_batch>> spare_batches;
  page_ahead now;  // without helpers, the page at its turn
};

// --- Batches -----------------------------------------------------------------------------------

// A batch for the next command files: one an earlier turn left, or a new one.
std::shared_ptr<page_batch> free_batch(page_run& run) {
  if (run.spare_batches.empty()) {
    auto batch = std::make_shared<page_batch>();
    batch->pages.resize(std::max<std::size_t>(run.windows.pages_per_batch, 1));
    return batch;
  }
  std::shared_ptr<page_batch> batch = std::move(run.spare_batches.back());
  run.spare_batches.pop_back();
  batch->count = 0;
  batch->failure = nullptr;
  batch->state.store(batch_state::gathering, std::memory_order_relaxed);
  return batch;
}

// Hands the batch being gathered to the helpers.
void hand_out(page_run& run) {
  if (!run.gathering || run.gathering->count == 0) {
    return;
  }
  std::shared_ptr<page_batch> batch = std::move(run.gathering);
  batch->state.store(batch_state::handed_over, std::memory_order_release);
  submit_job(run.helpers, [batch, &rules = run.rules] { take_and_prepare(*batch, rules); });
  run.batches.push_back(std::move(batch));
}

// Prepares the newest handed-over batch that no helper has started; false when there is none.
bool prepare_one_waiting(page_run& run) {
  return std::any_of(run.batches.rbegin(), run.batches.rend(),
                     [&](const std::shared_ptr<page_batch>& batch) {
                       return take_and_prepare(*batch, run.rules);
                     });
}

// Waits until `batch` is prepared, preparing it, or newer ones while a helper prepares it, on
// this thread; throws what preparing it threw.
void finish_batch(page_batch& batch, page_run& run) {
  if (!take_and_prepare(batch, run.rules)) {
    while (batch.state.load(std::memory_order_acquire) != batch_state::prepared &&
           prepare_one_waiting(run)) {
    }
    wait_prepared(batch);
  }
  if (batch.failure) {
    std::rethrow_exception(batch.failure);
  }
}

// Calls `act` with every page handed over after the one at its turn.
template <typename Act>
void for_pages_ahead(page_run& run, Act act) {
  for (std::size_t i = 0; i < run.batches.size(); ++i) {
    page_batch& batch = *run.batches[i];
    for (std::size_t page = i == 0 ? run.turn + 1 : 0; page < batch.count; ++page) {
      act(batch.pages[page]);
    }
  }
}

// Removes the page files written ahead for pages still to come whose place `taken_back` accepts;
// they are compiled and written again at their turn. True when one was removed.
template <typename Place>
bool withdraw_pages(page_run& run, Place taken_back) {
  for (const std::shared_ptr<page_batch>& batch : run.batches) {
    finish_batch(*batch, run);
  }
  bool withdrawn = false;
  for_pages_ahead(run, [&](page_ahead& page) {
    if (page.written && taken_back(page.page_path)) {
      unlink(page.page_path.c_str());
      page.written = false;
      page.rewrite = true;
      withdrawn = true;
    }
  });
  return withdrawn;
}

// Removes the page files written ahead of pages still to come, and creates none ahead from now
// on, so that a block reading an external file finds only what a one-thread run would have made.
void withdraw_pages_ahead(page_run& run) {
  if (run.pages_withdrawn) {
    return;
  }
  run.pages_withdrawn = true;
  run.rules.creation.ahead.store(false, std::memory_order_relaxed);
  withdraw_pages(run, [](const std::string&) { return true; });
}

// Removes a page file written ahead at `page_path` by a page still to come, which a one-thread run
// would create after the page at its turn; true when there was one.
bool withdraw_page_at(const std::string& page_path, page_run& run) {
  bool ahead = false;
  for_pages_ahead(run,
                  [&](const page_ahead& page) { ahead = ahead || page.page_path == page_path; });
  return ahead && withdraw_pages(run, [&](const std::string& place) { return place == page_path; });
}

// --- At the turn, on the walk's thread ----------------------------------------------------------

// Opens the page of `command_file` at `page_path`; -1 when it cannot be.
int open_page(const std::string& page_path, const std::string& command_file, page_run& run) {
  int page = create_page_file(page_path, false);
  if (page >= 0 || errno != EEXIST) {
    return page;
  }
  if (withdraw_page_at(page_path, run)) {
    page = create_page_file(page_path, false);
    if (page >= 0 || errno != EEXIST) {
      return page;
    }
  }
  print_all_reports(run.reports);  // the pages before this one are whole, their lines out
  warn_if_replacing(page_path, command_file);
  return create_page_file(page_path, true);
}

// The page file of `page`, created at its turn; -1 when it cannot be.
int page_file_of(const page_ahead& page, page_run& run) {
  create_folder(folder_of(page.page_path), run.known_folder);
  return open_page(page.page_path, page.path, run);
}

// Compiles one command file at its turn into its page. `ended_by_error` tells a page that a
// file-system error cut short.
console_report compile_at_turn(page_ahead& page, page_run& run, bool& ended_by_error) {
  page.language_looked_up = false;
  if (!page.source.opened) {
    return page_report(page_outcome::not_opened, page.path, page.relative, {});
  }
  run.reads.folder = folder_of(page.path);
  const int page_file = page_file_of(page, run);
  if (page_file < 0) {
    return page_report(page_outcome::not_created, page.path, page.relative, page.page_path);
  }
  page_sink sink(page_file, run.hooks.before_write);
  std::ostream out(&sink);
  std::string failure;
  std::string errors;
  const site_frame* site = run.rules.site;
  const page_frame frame =
      site != nullptr ? frame_page(*site, page.relative, run.rules.icon) : page_frame{};
  const bool read =
      compile_source(page.source, page.relative, run.context, site != nullptr ? &frame : nullptr,
                     run.rules.icon, run.reads, out, run.errors, errors, failure);
  page.language_looked_up = run.context.language_looked_up;
  ended_by_error = !failure.empty();
  const bool written = sink.finish();
  return compiled_report(std::move(errors), failure, read, written, page);
}

// Writes the page compiled ahead into `page` at its turn.
console_report write_at_turn(page_ahead& page, page_run& run) {
  unique_fd file(page_file_of(page, run));
  if (file.fd < 0) {
    return page_report(page_outcome::not_created, page.path, page.relative, page.page_path);
  }
  bool written = write_fully(file.fd, page.html.view(), run.rules.before_write);
  written = file.close_now() && written;
  return compiled_report(std::move(page.errors), page.failure, page.read, written, page);
}

// Follows a linked command file as the run has left the site so far, as the walk's visit would
// have: false when it leads to no regular file, or when placing it failed (reported in order).
bool follow_link_at_turn(page_ahead& page, page_run& run) {
  run.reads.settle();
  std::error_code error;
  if (!leads_to_file({page.path, walked_kind::link}, error)) {
    return false;
  }
  try {
    page.relative = place_below({page.path, walked_kind::link}, run.tree);
  } catch (const fs::filesystem_error& failure) {
    add_report(
        run.reports,
        console_report{std::string(compile_error_prefix) + failure.what() + "\n", "", false});
    return false;
  }
  page.page_path = page_path_in(run.output, page.relative, run.rules.site);
  page.source = open_command_source(page.path);
  return true;
}

// The report on `page` at its turn: written ahead, written now from what was compiled ahead, or
// compiled now from the start the pages before it left.
console_report report_at_turn(page_ahead& page, page_run& run, bool& ended_by_error) {
  if (!page.compiled) {
    return compile_at_turn(page, run, ended_by_error);
  }
  if (page.rewrite && !compile_again(page, run.rules)) {
    page.language_looked_up = false;
    return page_report(page_outcome::not_opened, page.path, page.relative, {});
  }
  ended_by_error = !page.failure.empty();
  return page.written ? std::move(page.report) : write_at_turn(page, run);
}

// Takes `page` at its turn; a file-system error joins the reports in order. An observer learns of
// the page at its turn; a page that an error cut short never ends for it, as when the error ends
// the walk's visit.
void page_at_turn(page_ahead& page, page_run& run) {
  if (page.link && !follow_link_at_turn(page, run)) {
    return;
  }
  if (page.reopen) {
    page.source = open_command_source(page.path);
  }
  const page_observer* observer = run.hooks.observer;
  if (observer != nullptr && observer->page_started) {
    observer->page_started(fs::path(page.path), run.rules.icon, run.context.records);
  }
  bool ended_by_error = false;
  console_report report;
  try {
    report = report_at_turn(page, run, ended_by_error);
  } catch (const fs::filesystem_error& error) {
    add_report(run.reports,
               console_report{std::string(compile_error_prefix) + error.what() + "\n", "", false});
    return;
  }
  // Decided here, in walk order, so that the same page carries it whatever the threads did.
  report.err += highlight_failure_warning(page.language_looked_up);
  const bool written = report.ok;
  add_report(run.reports, std::move(report));
  if (observer != nullptr && !ended_by_error && observer->page_finished) {
    observer->page_finished(written, run.context.records);
  }
}

// Takes into the run's records those that the pages compiled ahead before them left.
void take_records(page_run& run, records_held& held) {
  swap_kinds(run.context.records, held.records, held.kinds);
  held.kinds = 0;
}

// Takes the pages of the oldest batch at their turn.
void turn_oldest(page_run& run) {
  std::shared_ptr<page_batch> batch = run.batches.front();
  run.turn = 0;
  finish_batch(*batch, run);
  for (; run.turn < batch->count; ++run.turn) {
    page_ahead& page = batch->pages[run.turn];
    if (!page.compiled) {
      take_records(run, page.before);
    }
    page_at_turn(page, run);
  }
  take_records(run, batch->end);
  run.batches.pop_front();
  run.spare_batches.push_back(std::move(batch));
}

// Takes every page met so far at its turn.
void turn_all(page_run& run) {
  hand_out(run);
  while (!run.batches.empty()) {
    turn_oldest(run);
  }
}

// Hands the batch being gathered over, and takes the oldest batches beyond the window.
void hand_out_in_window(page_run& run) {
  hand_out(run);
  while (run.batches.size() > run.windows.batches_ahead) {
    turn_oldest(run);
  }
}

// The page of the command file `path` that the walk met, to be filled in: in the batch being
// gathered, or without helpers the one taken at once. A batch ends with its folder, so that two
// threads seldom create pages in one folder, where they would queue for the folder's lock.
page_ahead& next_page(page_run& run, std::string_view path) {
  if (run.helpers.threads.empty()) {
    return run.now;
  }
  if (run.gathering && run.gathering->count > 0 &&
      folder_of(run.gathering->pages[run.gathering->count - 1].path) != folder_of(path)) {
    hand_out_in_window(run);
  }
  if (!run.gathering) {
    run.gathering = free_batch(run);
  }
  return run.gathering->pages[run.gathering->count++];
}

// Takes `page`, just met, at its turn, or hands its batch over once it is full.
void page_met(page_ahead& page, page_run& run) {
  if (run.helpers.threads.empty()) {
    page.source = page.link ? command_source{} : open_command_source(page.path);
    page.reopen = false;
    page.compiled = false;
    page_at_turn(page, run);
  } else if (run.gathering->count == run.gathering->pages.size()) {
    hand_out_in_window(run);
  }
}

// The helper threads a run starts: what the request asks for within what the windows allow.
unsigned helpers_of(const page_pipeline_request& request) {
  return static_cast<unsigned>(std::min<std::size_t>(request.compilers, request.windows.helpers));
}

page_run::page_run(const page_pipeline_request& request, const page_pipeline_hooks& run_hooks)
    : hooks(run_hooks),
      windows(request.windows),
      tree(open_input_tree(request.input)),
      output(request.output),
      rules{request.site,
            page_icon_in(request.output),
            {},
            run_hooks.before_write,
            run_hooks.observer == nullptr,
            {},
            {},
            {}},
      reports{{}, 64, true, {}},
      helpers(helpers_of(request)) {
  context.prose = prose_settings_of(rules.site != nullptr ? &rules.site->settings : nullptr);
  rules.prose = context.prose;
  reads.settle = [this] { withdraw_pages_ahead(*this); };
  if (hooks.observer != nullptr) {
    reads.observe = hooks.observer->external_read;
  }
}

page_run::~page_run() {
  // A run cut short leaves no page that it did not reach.
  rules.creation.ahead = false;
  for (std::size_t i = 0; i < batches.size(); ++i) {
    page_batch& batch = *batches[i];
    batch_state handed_over = batch_state::handed_over;
    if (batch.state.compare_exchange_strong(handed_over, batch_state::prepared)) {
      continue;  // nobody took it: nothing of it was written
    }
    wait_prepared(batch);
    for (std::size_t page = i == 0 ? turn + 1 : 0; page < batch.count; ++page) {
      if (batch.pages[page].written) {
        unlink(batch.pages[page].page_path.c_str());
      }
    }
  }
}

}  // namespace

bool run_page_pipeline(const page_pipeline_request& request, const page_pipeline_hooks& hooks) {
  return run_walking_step(request.input, compile_error_prefix, [&] {
    page_run run(request, hooks);
    const auto visit = [&](const walked_entry& entry) {
      if (!is_command_file(entry.name(), request.extensions)) {
        return;
      }
      if (entry.kind != walked_kind::link && entry.kind != walked_kind::file) {
        return;
      }
      std::string relative;
      std::string page_path;
      if (entry.kind == walked_kind::file) {
        relative = place_below(entry, run.tree);
        page_path = page_path_in(run.output, relative, run.rules.site);
      }
      page_ahead& page = next_page(run, entry.path);
      page.path = entry.path;
      page.relative = std::move(relative);
      page.page_path = std::move(page_path);
      page.link = entry.kind == walked_kind::link;
      page_met(page, run);
    };
    walk_input_in_order(run.tree, compile_error_prefix, run.reports, visit, [&] { turn_all(run); },
                        {nullptr, request.listing});
    turn_all(run);
    print_all_reports(run.reports);
    return run.reports.all_ok;
  });
}
