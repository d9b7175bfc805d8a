#include "page_pipeline.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <iostream>
#include <memory>
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
  // Beyond these the compiler gains nothing: the helpers keep up with it.
  constexpr std::size_t widest = 64;
  constexpr std::size_t pages_per_hand_over = 16;
  constexpr std::size_t files_per_hand_over = 16;
  pipeline_windows windows;
  windows.pieces_in_flight = 4;
  windows.reports_waiting = std::min(widest, spare / 2);
  windows.helpers = windows.reports_waiting > 0;
  if (!windows.helpers) {
    return windows;  // every job runs at once on the compiler's thread and holds nothing
  }
  // The writer starts well before the compiler would wait for the oldest report.
  windows.pages_per_hand_over = std::min(pages_per_hand_over, windows.reports_waiting / 2 + 1);
  windows.read_ahead = std::min(widest, (spare - windows.reports_waiting - 1) / 2);
  windows.files_per_hand_over = std::clamp<std::size_t>(windows.read_ahead, 1, files_per_hand_over);
  return windows;
}

std::size_t pipeline_descriptors(const pipeline_windows& windows) {
  return windows.helpers ? 2 * windows.read_ahead + windows.reports_waiting + 1 : 0;
}

page_pipeline_request page_request(const std::string& input, const std::string& output,
                                   const std::vector<std::string>& extensions) {
  const pipeline_windows windows = pipeline_windows_for(spare_descriptors());
  const unsigned cores = usable_cores();
  page_pipeline_request request{input, output, extensions, windows};
  // On two cores the helpers and the kernel's work on the files keep both busy already, and pages
  // compiled ahead cost a fifth more instructions than pages compiled in turn.
  request.compilers = windows.helpers && cores > 2 ? cores : 0;
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

// A page to compile ahead of its start and what came of it, held until its turn to be written.
// Whichever thread takes it first compiles it: a compiling thread, or the main thread when the
// page's turn comes first. The run keeps it for a later page, so that its buffers are allocated
// once.
struct compile_slot {
  page_context context;   // compiled from an unknown start: the records of the kinds it opened
  command_source source;  // the command file, read whole
  const site_frame* site = nullptr;  // frames the page when the site has settings
  std::string relative;              // below the input folder
  page_icon icon;
  external_reads reads;  // only the folder: no block reads a file ahead of its turn
  std::string html;
  std::string errors;   // what its blocks wrote as errors
  std::string failure;  // a file-system error that ended it
  bool read = true;     // its command file was read whole
  std::atomic<bool> taken{false};
};

// Pages handed to the compiling threads at once: one hand-over and one wake-up for several.
constexpr std::size_t pages_per_compiling_hand_over = 8;

// A command file met by the walk, being read ahead of its compilation.
struct command_file_ahead {
  std::string path;       // as the walk formed it
  std::string relative;   // below the input folder
  std::string page_path;  // as the output folder is named
  job_future<command_source> source;
  bool read_at_turn = false;  // a link, which may lead to a page of this run: followed at its turn
  bool compiled_ahead = false;           // handed to a compiling thread
  page_created_ahead page{};             // then the page file the reader created, if any
  std::shared_ptr<compile_slot> slot{};  // when compiled ahead
  job_future<no_result> compiled{};      // its job, which compiles it unless it was taken
};

// What the pages of one run share. One reader opens command files and creates their pages ahead,
// and one writer writes the pages behind, in walk order. The compilers compile pages read ahead
// without knowing where they start; this thread takes them in walk order, handing on the records
// of the kinds each opened, and compiles at its turn, from its start, a page that needed it (a
// closing line of a kind it did not open, a PDF's number, a file to read), a link and a file not
// read whole.
struct page_run {
  page_run(const page_pipeline_request& request, const page_pipeline_hooks& run_hooks);
  const page_pipeline_hooks& hooks;
  pipeline_windows windows;
  input_tree tree;
  std::string output;
  page_icon icon;
  std::string known_folder;  // the folder of the last page, made sure of
  ordered_reports reports;
  std::deque<command_file_ahead> ahead;  // oldest first
  job_pool reader;
  job_pool writer;
  job_batch reading;
  page_writer writing;
  page_creation creation{};
  bool pages_withdrawn = false;  // no page has been created ahead since
  external_reads reads;          // how the page being compiled reads its external files
  const site_frame* site;
  page_context context;     // the records carried from page to page, in walk order
  job_pool compilers;       // compile pages ahead of their turn, while this thread goes on
  job_batch compiling;      // pages gathered for the compilers
  bool compile_ahead;       // whether pages go to the compilers at all
  std::size_t decided = 0;  // the files at the front of `ahead` handed to the compilers or not
  std::vector<std::shared_ptr<compile_slot>> spare_slots;
};

constexpr std::string_view compile_error_prefix = "File system error during compilation: ";

// Opens the page of `command_file` at `page_path`; -1 when it cannot be.
int open_page(const std::string& page_path, const std::string& command_file, page_run& run) {
  int page = create_page_file(page_path, false);
  if (page < 0 && errno == EEXIST) {
    hand_over(run.writing.jobs);
    print_all_reports(run.reports);  // the pages before this one are whole, their lines out
    warn_if_replacing(page_path, command_file);
    page = create_page_file(page_path, true);
  }
  return page;
}

// The page file of `file`: the one created ahead (`ahead`, when valid), else created now; -1
// when it cannot be.
int page_file_of(command_file_ahead& file, int ahead, page_run& run) {
  if (ahead >= 0) {
    return ahead;
  }
  create_folder(folder_of(file.page_path), run.known_folder);
  return open_page(file.page_path, file.path, run);
}

// Writes the rest of a page and closes it; its report says how it ended.
job_future<console_report> finish_page(page_sink& sink, command_file_ahead& file,
                                       std::string failure, bool read, std::string errors) {
  return sink.finish([failure = std::move(failure), read, command_file = std::move(file.path),
                      relative = std::move(file.relative), page_path = std::move(file.page_path),
                      errors = std::move(errors)](bool written) {
    if (!failure.empty()) {
      return console_report{errors + std::string(compile_error_prefix) + failure + "\n", "", false};
    }
    const page_outcome outcome = !read      ? page_outcome::not_read
                                 : !written ? page_outcome::not_written
                                            : page_outcome::compiled;
    console_report report = page_report(outcome, command_file, relative, page_path);
    report.err.insert(0, errors);
    return report;
  });
}

// Compiles `source` into `page` from the records of `context`, its error lines in `errors`;
// `failure` learns a file-system error that ended the page. False when reading it failed.
bool compile_source(command_source& source, const std::string& relative, page_context& context,
                    const page_frame* frame, const page_icon& icon, const external_reads& reads,
                    std::ostream& page, std::string& errors, std::string& failure) {
  text_sink error_sink(nullptr, true);
  std::ostream error_lines(&error_sink);
  context.errors = &error_lines;
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
  errors = std::move(error_sink.text);
  return read;
}

// Compiles one command file at its turn, on this thread; its page is written by the writer, which
// reports on it through the future. `ended_by_error` tells a page that a file-system error cut
// short.
job_future<console_report> compile_command_file(command_file_ahead& file, page_run& run,
                                                bool& ended_by_error) {
  command_source source = file.source.get();
  if (!source.opened) {
    return finished_future(page_report(page_outcome::not_opened, file.path, file.relative, {}));
  }
  run.reads.folder = folder_of(file.path);
  const int page_file = page_file_of(file, source.page.release(), run);
  if (page_file < 0) {
    return finished_future(
        page_report(page_outcome::not_created, file.path, file.relative, file.page_path));
  }
  page_sink sink(run.writing, page_file);
  std::ostream page(&sink);
  std::string failure;
  std::string errors;
  const page_frame frame = run.site ? frame_page(*run.site, file.relative, run.icon) : page_frame{};
  const bool read = compile_source(source, file.relative, run.context, run.site ? &frame : nullptr,
                                   run.icon, run.reads, page, errors, failure);
  ended_by_error = !failure.empty();
  return finish_page(sink, file, std::move(failure), read, std::move(errors));
}

// Compiles the page of `slot` into it.
void compile_in(compile_slot& slot) {
  text_sink html(nullptr, true);
  html.text = std::move(slot.html);
  html.text.clear();
  std::ostream page(&html);
  const page_frame frame =
      slot.site ? frame_page(*slot.site, slot.relative, slot.icon) : page_frame{};
  slot.read = compile_source(slot.source, slot.relative, slot.context, slot.site ? &frame : nullptr,
                             slot.icon, slot.reads, page, slot.errors, slot.failure);
  slot.html = std::move(html.text);
}

// Writes the page compiled into `done`, at its turn.
job_future<console_report> write_compiled_page(command_file_ahead& file, compile_slot& done,
                                               page_run& run) {
  const int page_file = page_file_of(file, file.page.release(), run);
  if (page_file < 0) {
    return finished_future(
        page_report(page_outcome::not_created, file.path, file.relative, file.page_path));
  }
  page_sink sink(run.writing, page_file);
  {
    std::ostream page(&sink);
    page.write(done.html.data(), static_cast<std::streamsize>(done.html.size()));
  }
  return finish_page(sink, file, std::move(done.failure), done.read, std::move(done.errors));
}

// Takes what a compiling thread made of `file`: writes the page and hands the records of the kinds
// it opened on to the next page; false, with the file as read, when the page needed its start
// and is to be compiled at its turn here.
bool take_compiled_page(command_file_ahead& file, page_run& run) {
  std::shared_ptr<compile_slot> done = std::move(file.slot);
  if (!done->taken.exchange(true)) {
    compile_in(*done);  // its turn came before a compiling thread took it
  } else {
    hand_over(run.compiling);
    file.compiled.get();
  }
  const bool written = !done->context.start_needed;
  if (written) {
    swap_kinds(run.context.records, done->context.records, done->context.opened_kinds);
    add_report(run.reports, write_compiled_page(file, *done, run));
  } else {
    done->source.page = std::move(file.page);
    file.source = finished_future(std::move(done->source));
  }
  run.spare_slots.push_back(std::move(done));
  return written;
}

// A slot for the next page handed to the compilers: one that a written page left and no job
// holds any more, or a new one.
std::shared_ptr<compile_slot> free_slot(page_run& run) {
  std::shared_ptr<compile_slot> slot;
  while (!slot && !run.spare_slots.empty()) {
    std::shared_ptr<compile_slot> spare = std::move(run.spare_slots.back());
    run.spare_slots.pop_back();
    if (spare.use_count() == 1) {
      slot = std::move(spare);
    }
  }
  if (!slot) {
    slot = std::make_shared<compile_slot>();
    slot->context.prose = run.context.prose;
    slot->context.start_unknown = true;
  }
  slot->taken = false;
  slot->context.start_needed = false;
  slot->context.opened_kinds = 0;
  slot->failure.clear();
  slot->errors.clear();
  return slot;
}

// Hands `file` to a compiling thread, which compiles it without knowing where it starts; false
// when it is compiled at its turn on this thread (a link, a file not read whole).
bool compile_ahead(command_file_ahead& file, page_run& run) {
  if (file.read_at_turn) {
    return false;
  }
  command_source source = file.source.get();
  if (!source.opened || source.file.fd >= 0) {
    file.source = finished_future(std::move(source));
    return false;
  }
  file.page = std::move(source.page);
  std::shared_ptr<compile_slot> slot = free_slot(run);
  slot->source = std::move(source);
  slot->site = run.site;
  slot->relative = file.relative;
  slot->icon = run.icon;
  slot->reads.folder = folder_of(file.path);
  file.compiled = add_job(run.compiling, [slot] {
    if (!slot->taken.exchange(true)) {
      compile_in(*slot);
    }
  });
  file.slot = std::move(slot);
  file.compiled_ahead = true;
  return true;
}

// Hands the files read ahead to the compiling threads in walk order, up to one still being read.
void compile_pages_ahead(page_run& run) {
  while (run.compile_ahead && run.decided < run.ahead.size()) {
    command_file_ahead& file = run.ahead[run.decided];
    if (!file.read_at_turn && !file.source.ready()) {
      return;
    }
    compile_ahead(file, run);
    ++run.decided;
  }
}

// Removes the page files created ahead of pages still to come, and creates none ahead from now
// on, so that a block reading an external file finds only what a one-thread run would have made.
void withdraw_pages_ahead(page_run& run) {
  if (run.pages_withdrawn) {
    return;
  }
  run.creation.ahead = false;
  run.pages_withdrawn = true;
  hand_over(run.reading);
  for (command_file_ahead& file : run.ahead) {
    if (file.compiled_ahead) {
      file.page = page_created_ahead();
      continue;
    }
    command_source source = file.source.get();
    source.page = page_created_ahead();
    file.source = finished_future(std::move(source));
  }
}

// Follows a linked command file as the run has left the site so far, as the walk's visit would
// have: false when it leads to no regular file, or when placing it failed (reported in order).
bool follow_link_at_turn(command_file_ahead& file, page_run& run) {
  run.reads.settle();
  std::error_code error;
  if (!leads_to_file({file.path, walked_kind::link}, error)) {
    return false;
  }
  try {
    file.relative = place_below({file.path, walked_kind::link}, run.tree);
  } catch (const fs::filesystem_error& failure) {
    add_report(
        run.reports,
        console_report{std::string(compile_error_prefix) + failure.what() + "\n", "", false});
    return false;
  }
  file.page_path = page_path_in(run.output, file.relative, run.site);
  file.source = finished_future(open_command_source(file.path));
  return true;
}

// Compiles the oldest command file read ahead; a file-system error joins the reports in order.
// An observer learns of the page as it is compiled, so it waits for the page's report: a page
// that an error cut short never ends for the observer, as when the error ends the walk's visit.
void compile_oldest(page_run& run) {
  compile_pages_ahead(run);
  if (!run.ahead.front().source.ready()) {
    hand_over(run.reading);  // the oldest file may still be among those gathered
  }
  command_file_ahead file = std::move(run.ahead.front());
  run.ahead.pop_front();
  run.decided -= run.decided > 0 ? 1 : 0;
  if (file.compiled_ahead && take_compiled_page(file, run)) {
    compile_pages_ahead(run);
    return;
  }
  if (file.read_at_turn && !follow_link_at_turn(file, run)) {
    return;
  }
  const page_observer* observer = run.hooks.observer;
  if (observer != nullptr && observer->page_started) {
    observer->page_started(fs::path(file.path), run.icon, run.context.records);
  }
  bool ended_by_error = false;
  job_future<console_report> report;
  try {
    report = compile_command_file(file, run, ended_by_error);
  } catch (const fs::filesystem_error& error) {
    add_report(run.reports,
               console_report{std::string(compile_error_prefix) + error.what() + "\n", "", false});
    return;
  }
  if (observer == nullptr) {
    add_report(run.reports, std::move(report));
    return;
  }
  hand_over(run.writing.jobs);
  console_report done = report.get();
  const bool written = done.ok;
  add_report(run.reports, std::move(done));
  if (!ended_by_error && observer->page_finished) {
    observer->page_finished(written, run.context.records);
  }
}

page_run::page_run(const page_pipeline_request& request, const page_pipeline_hooks& run_hooks)
    : hooks(run_hooks),
      windows(request.windows),
      tree(open_input_tree(request.input)),
      output(request.output),
      icon(page_icon_in(request.output)),
      reports{{}, windows.reports_waiting, true, [this] { hand_over(writing.jobs); }},
      reader(windows.helpers ? helper_threads(1) : 0),
      writer(windows.helpers ? helper_threads(1) : 0),
      reading{reader, windows.files_per_hand_over, {}},
      writing(writer, windows.pages_per_hand_over, windows.pieces_in_flight,
              run_hooks.before_write),
      site(request.site),
      compilers(run_hooks.observer == nullptr ? request.compilers : 0),
      compiling{compilers, pages_per_compiling_hand_over, {}},
      compile_ahead(compilers.threads.size() > 0 && run_hooks.observer == nullptr) {
  context.prose = prose_settings_of(site ? &site->settings : nullptr);
  reads.settle = [this] {
    withdraw_pages_ahead(*this);
    wait_for_page_writes(writing);
  };
  if (hooks.observer != nullptr) {
    reads.observe = hooks.observer->external_read;
  }
}

}  // namespace

bool run_page_pipeline(const page_pipeline_request& request, const page_pipeline_hooks& hooks) {
  return run_walking_step(request.input, compile_error_prefix, [&] {
    page_run run(request, hooks);
    const auto compile_all_read = [&] {
      while (!run.ahead.empty()) {
        compile_oldest(run);
      }
    };
    const auto visit = [&](const walked_entry& entry) {
      if (!is_command_file(entry.name(), request.extensions)) {
        return;
      }
      if (entry.kind == walked_kind::link) {
        run.ahead.push_back(
            {std::string(entry.path), {}, {}, finished_future(command_source{}), true});
      } else if (entry.kind == walked_kind::file) {
        std::string relative = place_below(entry, run.tree);
        std::string page_path = page_path_in(run.output, relative, run.site);
        auto read = [&creation = run.creation, path = std::string(entry.path), page_path] {
          command_source source = open_command_source(path);
          create_page_ahead(source, page_path, creation);
          return source;
        };
        run.ahead.push_back({std::string(entry.path), std::move(relative), std::move(page_path),
                             add_job(run.reading, std::move(read))});
      }
      compile_pages_ahead(run);
      while (run.ahead.size() > run.windows.read_ahead) {
        compile_oldest(run);
      }
    };
    walk_input_in_order(run.tree, compile_error_prefix, run.reports, visit, compile_all_read,
                        {nullptr, request.listing});
    compile_all_read();
    hand_over(run.writing.jobs);
    print_all_reports(run.reports);
    return run.reports.all_ok;
  });
}
