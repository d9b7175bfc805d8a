// Pages prepared ahead of their turn by helper threads, a batch at a time: each command file read
// whole, its page compiled from an unknown start and, where it may be, created and written.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "block_records.h"
#include "console_capture.h"
#include "job_pool.h"
#include "ordered_console.h"
#include "page_context.h"
#include "page_files.h"
#include "prose_settings.h"
#include "utils.h"

struct external_reads;
struct page_frame;
struct site_frame;

// What the report on a page that a file-system error ended starts with.
inline constexpr std::string_view compile_error_prefix = "File system error during compilation: ";

// Where the blocks of the pages compiled on one thread write their error lines, to be kept with
// each page's report: one stream for every page, since making a stream costs more than the lines
// of a short page.
struct error_lines {
  text_sink sink{nullptr, true};
  std::ostream stream{&sink};
};

// Compiles `source` into `page` from the records of `context`, its error lines through `lines`
// into `errors`; `failure` learns a file-system error that ended the page. False when reading it
// failed.
bool compile_source(command_source& source, const std::string& relative, page_context& context,
                    const page_frame* frame, const page_icon& icon, const external_reads& reads,
                    std::ostream& page, error_lines& lines, std::string& errors,
                    std::string& failure);

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
  bool language_looked_up = false;  // its compile looked a language up to colour in
  console_report report;            // when written ahead
};

// The report on a page compiled from `command_file`: `errors` its blocks wrote, `failure` a
// file-system error that ended it, and whether the command file was read whole and the page
// written.
console_report compiled_report(std::string errors, const std::string& failure, bool read,
                               bool written, const page_ahead& page);

// Where a batch is: being gathered by the walk's thread, handed over, being prepared (and waited
// for), or prepared.
enum class batch_state : std::uint8_t { gathering, handed_over, taken, awaited, prepared };

// Command files handed to the helpers at once. Whoever takes it first prepares it: a helper, or
// the walk's thread when the batch's turn comes first. A job of the helpers stands for no batch
// in particular: it prepares the batch if it finds it handed over, so that a job left from an
// earlier round of a batch, kept for later command files, does no harm.
struct page_batch {
  std::vector<page_ahead> pages;  // the first `count` are in use
  std::size_t count = 0;
  records_held end;  // what the pages compiled after its last page not compiled ahead left
  std::atomic<batch_state> state{batch_state::gathering};
  std::exception_ptr failure;  // what preparing it threw, such as memory exhaustion
};

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

// Prepares `batch` on this thread if it is handed over and nobody took it yet; false when it was
// not there to take.
bool take_and_prepare(page_batch& batch, ahead_rules& rules);

// Waits until the thread that took `batch` (one did) has prepared it.
void wait_prepared(page_batch& batch);

// Compiles again, as ahead of its turn, a page whose page file was withdrawn; false when its
// command file cannot be read whole any more.
bool compile_again(page_ahead& page, ahead_rules& rules);
