#include "page_batches.h"

#include <cerrno>
#include <filesystem>

#include "external_reads.h"
#include "held_folder.h"
#include "input_walk.h"
#include "page_frame.h"
#include "page_report.h"

namespace fs = std::filesystem;

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

bool compile_source(command_source& source, const std::string& relative, page_context& context,
                    const page_frame* frame, const page_icon& icon, const external_reads& reads,
                    std::ostream& page, error_lines& lines, std::string& errors,
                    std::string& failure) {
  lines.stream.clear();
  lines.sink.text.clear();  // a page that threw may have left lines
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
  return read;
}

namespace {

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
  page.language_looked_up = context.language_looked_up;
  return !context.start_needed;
}

// Creates the page file of `page` and writes `html` to it; false, with nothing created, when
// pages may not be created ahead or its place is taken.
bool write_ahead(page_ahead& page, const page_text& html, ahead_rules& rules, held_folder& folder) {
  if (!rules.creation.ahead.load(std::memory_order_relaxed)) {
    return false;
  }
  unique_fd file(create_page_file(page.page_path, false, &folder));
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
void prepare_page(page_ahead& page, ahead_scratch& scratch, ahead_rules& rules,
                  held_folders& folders) {
  page.reopen = false;
  page.compiled = false;
  page.written = false;
  page.rewrite = false;
  page.opened_kinds = 0;
  if (page.link) {
    return;
  }
  page.source = open_command_source(page.path, std::move(scratch.text), &folders.source);
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
  page.written = write_ahead(page, scratch.html, rules, folders.target);
  if (!page.written) {
    std::swap(page.html, scratch.html);  // written at its turn
  }
}

// Moves the records of the kinds `kinds` from `scratch` to `held`.
void hold_records(records_held& held, std::uint32_t kinds, ahead_scratch& scratch) {
  held.kinds = kinds;
  swap_kinds(held.records, scratch.context.records, kinds);
}

// The records a page compiled ahead left are not kept with it: the walk's thread needs them only
// before a page it compiles at its turn, and after the batch, so those are what the batch keeps. A
// page that stopped where it needs its start changed the records of the kinds it opened before that
// line; compiled at its turn from the same text, it opens them again before any line reads them, so
// what is held before it need not undo that.
void prepare_batch(page_batch& batch, ahead_rules& rules) {
  std::unique_ptr<ahead_scratch> scratch = take_scratch(rules);
  held_folders folders;      // held while the batch is prepared, and only then
  std::uint32_t opened = 0;  // the kinds opened since the last page not compiled ahead
  for (std::size_t i = 0; i < batch.count; ++i) {
    page_ahead& page = batch.pages[i];
    prepare_page(page, *scratch, rules, folders);
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

}  // namespace

bool take_and_prepare(page_batch& batch, ahead_rules& rules) {
  batch_state handed_over = batch_state::handed_over;
  if (!batch.state.compare_exchange_strong(handed_over, batch_state::taken,
                                           std::memory_order_acquire)) {
    return false;
  }
  try {
    prepare_batch(batch, rules);
  } catch (...) {
    batch.failure = std::current_exception();
  }
  if (batch.state.exchange(batch_state::prepared, std::memory_order_acq_rel) ==
      batch_state::awaited) {
    batch.state.notify_all();
  }
  return true;
}

void wait_prepared(page_batch& batch) {
  batch_state seen = batch.state.load(std::memory_order_acquire);
  while (seen != batch_state::prepared) {
    if (seen == batch_state::taken &&
        !batch.state.compare_exchange_weak(seen, batch_state::awaited, std::memory_order_acquire)) {
      continue;  // `seen` holds the state as it is now
    }
    batch.state.wait(batch_state::awaited, std::memory_order_acquire);
    seen = batch.state.load(std::memory_order_acquire);
  }
}

bool compile_again(page_ahead& page, ahead_rules& rules) {
  command_source source = open_command_source(page.path);
  if (!source.opened || source.file.fd >= 0) {
    return false;
  }
  std::unique_ptr<ahead_scratch> scratch = take_scratch(rules);
  compile_ahead(page, source, *scratch, rules);
  std::swap(page.html, scratch->html);
  give_back(std::move(scratch), rules);
  return true;
}
