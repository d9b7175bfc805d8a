#include "page_pipeline.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <iostream>
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
  return {input, output, extensions, pipeline_windows_for(spare_descriptors()), nullptr, nullptr};
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

// A command file met by the walk, being read ahead of its compilation.
struct command_file_ahead {
  std::string path;       // as the walk formed it
  std::string relative;   // below the input folder
  std::string page_path;  // as the output folder is named
  job_future<command_source> source;
  bool read_at_turn = false;  // a link, which may lead to a page of this run: followed at its turn
};

// What the pages of one run share. One reader opens command files and creates their pages ahead,
// and one writer writes the pages behind the compiler, which compiles in walk order on this thread.
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
  page_context context;  // the records carried from page to page, in walk order
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

// Compiles one command file; its page is written by the writer, which reports on it through the
// future. `ended_by_error` tells a page that a file-system error cut short.
job_future<console_report> compile_command_file(command_file_ahead& file, page_run& run,
                                                bool& ended_by_error) {
  command_source source = file.source.get();
  if (!source.opened) {
    return finished_future(page_report(page_outcome::not_opened, file.path, file.relative, {}));
  }
  run.reads.folder = folder_of(file.path);
  std::string& page_path = file.page_path;
  int page_file = source.page.release();
  if (page_file < 0) {
    create_folder(folder_of(page_path), run.known_folder);
    page_file = open_page(page_path, file.path, run);
  }
  if (page_file < 0) {
    return finished_future(
        page_report(page_outcome::not_created, file.path, file.relative, page_path));
  }
  page_sink sink(run.writing, page_file);
  std::ostream page(&sink);
  std::string failure;              // a file-system error that ended the page
  text_sink errors(nullptr, true);  // what the blocks write to standard error, printed in turn
  std::ostream error_lines(&errors);
  run.context.errors = &error_lines;
  const bool read = read_command_source(source, [&](std::istream& in) {
    try {
      const page_frame frame =
          run.site ? frame_page(*run.site, file.relative, run.icon) : page_frame{};
      compile_page(in, page, run.context, depth_prefix(file.relative), run.icon, run.reads,
                   run.site ? &frame : nullptr, file.relative);
    } catch (const fs::filesystem_error& error) {
      failure = error.what();
    }
  });
  run.context.errors = &std::cerr;
  ended_by_error = !failure.empty();
  return sink.finish([failure, read, command_file = std::move(file.path),
                      relative = std::move(file.relative), page_path = std::move(page_path),
                      errors = std::move(errors.text)](bool written) {
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
  if (!run.ahead.front().source.ready()) {
    hand_over(run.reading);  // the oldest file may still be among those gathered
  }
  command_file_ahead file = std::move(run.ahead.front());
  run.ahead.pop_front();
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
      site(request.site) {
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
