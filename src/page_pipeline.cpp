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
#include "input_walk.h"
#include "job_pool.h"
#include "ordered_console.h"
#include "page_context.h"
#include "page_files.h"
#include "page_frame.h"
#include "page_report.h"

namespace fs = std::filesystem;

pipeline_windows pipeline_windows_for(std::size_t spare) {
  // A batch is worth a wake-up; beyond these the helpers gain nothing.
  constexpr std::size_t most_helpers = 64;
  constexpr std::size_t pages_per_batch = 32;
  constexpr std::size_t batches_ahead = 8;
  pipeline_windows windows;
  windows.helpers = std::min(most_helpers, spare / 2);
  if (windows.helpers > 0) {
    windows.pages_per_batch = pages_per_batch;
    windows.batches_ahead = batches_ahead;
  }
  return windows;
}

std::size_t pipeline_descriptors(const pipeline_windows& windows) {
  return 2 * windows.helpers;
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

// Where the blocks of the pages compiled on one thread write their error lines, to be kept with
// each page's report: one stream for every page, since making a stream costs more than the lines
// of a short page.
struct error_lines {
  text_sink sink{nullptr, true};
  std::ostream stream{&sink};
};

// Records of the kinds whose bits `kinds` sets, held for the walk's thread.
struct records_held {
  block_records records;
  std::uint32_t kinds = 0;
};

// A command file met by the walk: prepared ahead of its turn by a helper (or by the walk's thread
// when it comes to the batch first), then taken at its turn. Batches keep their pages for later
// batches, so that the buffers of a page are allocated once.
struct page_ahead {
  std::string path;                // as the walk formed it
  std::string relative;            // below the input folder
  std::string page_path;           // as the output folder is named
  bool link = false;               // followed at its turn: it may lead to a page of this run
  command_source source;           // as read ahead
  bool reopen = false;             // too large to read whole: opened again and streamed at its turn
  bool compiled = false;           // compiled from an unknown start without needing it
  bool written = false;            // its page file created and written ahead
  bool rewrite = false;            // compiled ahead, its page withdrawn: compiled again at its turn
  std::uint32_t opened_kinds = 0;  // the kinds its compile ahead opened, whole or not
  records_held before;             // not compiled ahead: what the pages compiled before it left
  page_text html;                  // compiled ahead and not written
  std::string errors;              // what its blocks wrote as errors
  std::string failure;             // a file-system error that ended it
  bool read = true;                // its command file was read whole
  console_report report;           // when written ahead
};

// Command files handed to the helpers at once. Whoever takes it first prepares it: a helper, or
// the walk's thread when the batch's turn comes first.
struct page_batch {
  std::vector<page_ahead> pages;  // the first `count` are in use
  std::size_t count = 0;
  records_held end;  // what the pages compiled after its last page not compiled ahead left
  std::atomic<bool> taken{false};
  bool prepared_here = false;  // by the walk's thread
  job_future<no_result> done;  // the helpers' job
};

struct ahead_scratch;

// What the helpers share with the walk's thread while they prepare pages.
struct ahead_rules {
  const site_frame* site = nullptr;
  page_icon icon;
  page_creation creation;
  std::function<void()> before_write;
  bool compile = true;  // pages are compiled ahead, not only read
  prose_settings prose;
  // The scratch of the threads at work, kept so that it serves batch after batch.
  std::mutex mutex;
  std::vector<std::unique_ptr<ahead_scratch>> scratch;
};

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
  job_pool writer{0};  // writes the pages compiled at their turn as they are compiled
  page_writer writing;
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

constexpr std::string_view compile_error_prefix = "File system error during compilation: ";

// The report on a page compiled from `command_file`: `errors` its blocks wrote, `failure` a
// file-system error that ended it, and whether the command file was read whole and the page
// written.
console_report compiled_report(std::string errors, const std::string& failure, bool read,
                               bool written, const page_ahead& page) {
  if (!failure.empty()) {
    return console_report{errors + std::string(compile_error_prefix) + failure + "\n", "", false};
  }
  const page_outcome outcome = !read      ? page_outcome::not_read
                               : !written ? page_outcome::not_written
                                          : page_outcome::compiled;
  console_report report = page_report(outcome, page.path, page.relative, page.page_path);
  report.err.insert(0, errors);
  return report;
}

// Compiles `source` into `page` from the records of `context`, its error lines through `lines`
// into `errors`; `failure` learns a file-system error that ended the page. False when reading it
// failed.
bool compile_source(command_source& source, const std::string& relative, page_context& context,
                    const page_frame* frame, const page_icon& icon, const external_reads& reads,
                    std::ostream& page, error_lines& lines, std::string& errors,
                    std::string& failure) {
  lines.stream.clear();
  context.errors = &lines.stream;
  const auto compile = [&](auto&& in) {
    try {
      compile_page(in, page, context, depth_prefix(relative), icon, reads, frame, relative);
    } catch (const fs::filesystem_error& error) {
      failure = error.what();
    }
  };
  bool read = !source.read_failed;
  if (source.file.fd < 0) {
    compile(std::string_view(source.text));  // read whole: its lines are split in place
  } else {
    read = read_command_source(source, [&](std::istream& in) { compile(in); });
  }
  context.errors = &std::cerr;
  errors = std::move(lines.sink.text);
  lines.sink.text.clear();
  return read;
}

// --- Ahead of the turn, on any thread ---------------------------------------------------------

// What a thread preparing pages reuses from page to page, so that the memory it works in stays in
// its cache: the command file, the page, and a context whose records are those the pages it
// compiled left, whatever their start.
struct ahead_scratch {
  std::string text;  // the command file
  page_text html;
  memory_page sink{html};
  std::ostream page{&sink};  // one stream for every page, as for the error lines
  error_lines errors;
  page_context context;
};

// Scratch to prepare pages with, until it is given back.
std::unique_ptr<ahead_scratch> take_scratch(ahead_rules& rules) {
  {
    const std::lock_guard lock(rules.mutex);
    if (!rules.scratch.empty()) {
      std::unique_ptr<ahead_scratch> scratch = std::move(rules.scratch.back());
      rules.scratch.pop_back();
      return scratch;
    }
  }
  auto scratch = std::make_unique<ahead_scratch>();
  scratch->context.prose = rules.prose;
  scratch->context.start_unknown = true;
  return scratch;
}

void give_back(std::unique_ptr<ahead_scratch> scratch, ahead_rules& rules) {
  const std::lock_guard lock(rules.mutex);
  rules.scratch.push_back(std::move(scratch));
}

// Makes `stream` as a new stream would be, but for its buffer.
void reset_stream(std::ostream& stream) {
  stream.clear();
  stream.flags(std::ios_base::dec | std::ios_base::skipws);
  stream.width(0);
  stream.precision(6);
  stream.fill(' ');
}

// Compiles `page` from `source` into the page of `scratch` from an unknown start; false when it
// stopped where it needs its start.
bool compile_ahead(page_ahead& page, command_source& source, ahead_scratch& scratch,
                   const ahead_rules& rules) {
  page_context& context = scratch.context;
  context.start_needed = false;
  context.opened_kinds = 0;
  page.failure.clear();
  external_reads reads;  // only the folder: no block reads a file ahead of its turn
  reads.folder = folder_of(page.path);
  const page_frame frame =
      rules.site != nullptr ? frame_page(*rules.site, page.relative, rules.icon) : page_frame{};
  scratch.sink.restart();
  reset_stream(scratch.page);
  page.read =
      compile_source(source, page.relative, context, rules.site != nullptr ? &frame : nullptr,
                     rules.icon, reads, scratch.page, scratch.errors, page.errors, page.failure);
  scratch.sink.finish();
  return !context.start_needed;
}

// Creates the page file of `page` and writes `html` to it; false, with nothing created, when
// pages may not be created ahead or its place is taken.
bool write_ahead(page_ahead& page, const page_text& html, ahead_rules& rules) {
  if (!rules.creation.ahead.load(std::memory_order_relaxed)) {
    return false;
  }
  unique_fd file(create_page_file(page.page_path, false));
  if (file.fd < 0) {
    if (errno != EEXIST) {
      // What stands at a place stays there for the run, so only a free place could be taken by a
      // later page before this one's turn.
      rules.creation.ahead.store(false, std::memory_order_relaxed);
    }
    return false;
  }
  bool written = write_fully(file.fd, html.view(), rules.before_write);
  written = file.close_now() && written;
  page.report = compiled_report(page.errors, page.failure, page.read, written, page);
  return true;
}

// Reads, compiles and writes `page` as far as it can be ahead of its turn; what its turn needs
// stays with the page.
void prepare_page(page_ahead& page, ahead_scratch& scratch, ahead_rules& rules) {
  page.reopen = false;
  page.compiled = false;
  page.written = false;
  page.rewrite = false;
  page.opened_kinds = 0;
  if (page.link) {
    return;
  }
  page.source = open_command_source(page.path, std::move(scratch.text));
  if (page.source.opened && page.source.file.fd >= 0) {
    page.source = command_source{};  // holds no descriptor until its turn
    page.reopen = true;
  }
  if (!page.source.opened || !rules.compile) {
    return;
  }
  try {
    page.compiled = compile_ahead(page, page.source, scratch, rules);
  } catch (...) {  // such as memory exhaustion: compiled again at its turn, which reports it
  }
  page.opened_kinds = scratch.context.opened_kinds;
  if (!page.compiled) {
    return;  // compiled at its turn from the text read
  }
  scratch.text = std::move(page.source.text);
  page.written = write_ahead(page, scratch.html, rules);
  if (!page.written) {
    std::swap(page.html, scratch.html);  // written at its turn
  }
}

// Moves the records of the kinds `kinds` from `scratch` to `held`.
void hold_records(records_held& held, std::uint32_t kinds, ahead_scratch& scratch) {
  held.kinds = kinds;
  swap_kinds(held.records, scratch.context.records, kinds);
}

// Prepares the pages of `batch` in order. The records a page compiled ahead left are not kept with
// it: the walk's thread needs them only before a page it compiles at its turn, and after the
// batch, so those are what the batch keeps. A page that stopped where it needs its start changed
// the records of the kinds it opened before that line; compiled at its turn from the same text,
// it opens them again before any line reads them, so what is held before it need not undo that.
void prepare_batch(page_batch& batch, ahead_rules& rules) {
  std::unique_ptr<ahead_scratch> scratch = take_scratch(rules);
  std::uint32_t opened = 0;  // the kinds the pages compiled since the last that was not opened
  for (std::size_t i = 0; i < batch.count; ++i) {
    page_ahead& page = batch.pages[i];
    prepare_page(page, *scratch, rules);
    if (page.compiled) {
      opened |= page.opened_kinds;
    } else {
      hold_records(page.before, opened, *scratch);
      opened = 0;
    }
  }
  hold_records(batch.end, opened, *scratch);
  give_back(std::move(scratch), rules);
}

// --- Batches -----------------------------------------------------------------------------------

// A batch for the next command files: one an earlier turn left and no job holds any more, or a
// new one.
std::shared_ptr<page_batch> free_batch(page_run& run) {
  std::vector<std::shared_ptr<page_batch>>& spares = run.spare_batches;
  const auto free =
      std::find_if(spares.begin(), spares.end(),
                   [](const std::shared_ptr<page_batch>& spare) { return spare.use_count() == 1; });
  if (free != spares.end()) {
    std::shared_ptr<page_batch> spare = std::move(*free);
    *free = std::move(spares.back());
    spares.pop_back();
    spare->count = 0;
    spare->taken = false;
    spare->prepared_here = false;
    spare->done = {};
    return spare;
  }
  auto batch = std::make_shared<page_batch>();
  batch->pages.resize(std::max<std::size_t>(run.windows.pages_per_batch, 1));
  return batch;
}

// Hands the batch being gathered to the helpers.
void hand_out(page_run& run) {
  if (!run.gathering || run.gathering->count == 0) {
    return;
  }
  std::shared_ptr<page_batch> batch = std::move(run.gathering);
  // The job lets go of the batch before it ends, so that the batch is free once its job is done.
  batch->done = submit_job(run.helpers, [held = batch, &rules = run.rules]() mutable {
    const std::shared_ptr<page_batch> mine = std::move(held);
    if (!mine->taken.exchange(true)) {
      prepare_batch(*mine, rules);
    }
  });
  run.batches.push_back(std::move(batch));
}

// Prepares the newest handed-over batch that no helper has started; false when there is none.
bool prepare_one_waiting(page_run& run) {
  for (auto batch = run.batches.rbegin(); batch != run.batches.rend(); ++batch) {
    if (!(*batch)->taken.exchange(true)) {
      prepare_batch(**batch, run.rules);
      (*batch)->prepared_here = true;
      return true;
    }
  }
  return false;
}

// Waits until `batch` is prepared, preparing it, or others meanwhile, on this thread.
void finish_batch(page_batch& batch, page_run& run) {
  if (!batch.taken.exchange(true)) {
    prepare_batch(batch, run.rules);
    batch.prepared_here = true;
  }
  while (!batch.prepared_here && !batch.done.ready() && prepare_one_waiting(run)) {
  }
  if (!batch.prepared_here) {
    batch.done.get();  // what the helper threw, such as memory exhaustion, ends the run
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
  if (!page.source.opened) {
    return page_report(page_outcome::not_opened, page.path, page.relative, {});
  }
  run.reads.folder = folder_of(page.path);
  const int page_file = page_file_of(page, run);
  if (page_file < 0) {
    return page_report(page_outcome::not_created, page.path, page.relative, page.page_path);
  }
  page_sink sink(run.writing, page_file);
  std::ostream out(&sink);
  std::string failure;
  std::string errors;
  const site_frame* site = run.rules.site;
  const page_frame frame =
      site != nullptr ? frame_page(*site, page.relative, run.rules.icon) : page_frame{};
  const bool read =
      compile_source(page.source, page.relative, run.context, site != nullptr ? &frame : nullptr,
                     run.rules.icon, run.reads, out, run.errors, errors, failure);
  ended_by_error = !failure.empty();
  // Without helper threads the writer writes at once, so the report is there.
  return sink
      .finish([&](bool written) {
        return compiled_report(std::move(errors), failure, read, written, page);
      })
      .get();
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

// Compiles again, as ahead of its turn, a page whose page file was withdrawn; false when its
// command file cannot be read whole any more.
bool compile_again(page_ahead& page, page_run& run) {
  command_source source = open_command_source(page.path);
  if (!source.opened || source.file.fd >= 0) {
    return false;
  }
  std::unique_ptr<ahead_scratch> scratch = take_scratch(run.rules);
  compile_ahead(page, source, *scratch, run.rules);
  std::swap(page.html, scratch->html);
  give_back(std::move(scratch), run.rules);
  return true;
}

// The report on `page` at its turn: written ahead, written now from what was compiled ahead, or
// compiled now from the start the pages before it left.
console_report report_at_turn(page_ahead& page, page_run& run, bool& ended_by_error) {
  if (!page.compiled) {
    return compile_at_turn(page, run, ended_by_error);
  }
  if (page.rewrite && !compile_again(page, run)) {
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
      writing(writer, 1, 1, run_hooks.before_write),
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
  for (const std::shared_ptr<page_batch>& batch : batches) {
    if (batch->taken.exchange(true) && !batch->prepared_here) {
      batch->done.wait();
    }
  }
  for_pages_ahead(*this, [](page_ahead& page) {
    if (page.written) {
      unlink(page.page_path.c_str());
    }
  });
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
