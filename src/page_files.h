// The files of the page compiler: command files read and page files created ahead of it, pages
// written behind it.
#pragma once

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <utility>

#include "job_pool.h"
#include "ordered_console.h"
#include "unique_fd.h"

// A page file the reader created before the page's turn. Unless the compiler takes it, it is
// removed again when this goes out of scope: a run that never reached the page leaves no file.
struct page_created_ahead {
  std::string path;
  unique_fd file;
  page_created_ahead() = default;
  page_created_ahead(page_created_ahead&&) noexcept = default;
  page_created_ahead& operator=(page_created_ahead&& other) noexcept;
  ~page_created_ahead();
  int release() { return std::exchange(file.fd, -1); }  // the compiler takes the file
};

// A command file as the reader left it: read whole when it is small, else still open.
struct command_source {
  bool opened = false;       // false when the file could not be opened
  unique_fd file;            // open while the content is still to be read
  std::string text;          // the whole content, read ahead
  bool read_failed = false;  // reading ended with an error; `text` holds the whole lines before it
  page_created_ahead page;   // the page file, when it was created ahead
};

// File descriptors the run may hold beyond what a one-thread run needs: the soft limit on open
// files less a reserve for the walk, the console and external files. A command file read ahead
// may hold two (a large one stays open, and its page), a page waiting for the writer one.
std::size_t spare_descriptors();

// Opens `path` and reads it ahead when it is small.
command_source open_command_source(const std::string& path);

// Whether page files may still be created ahead of their turn. A page must come into being when
// a one-thread run would create it, so creating ahead stops for the rest of the run at the first
// failure that leaves the place free (another page could take it first), and when a block reads
// an external file (it may be a page of this run).
struct page_creation {
  std::atomic<bool> ahead{true};
};

// Creates the page file of `source` at `page_path` ahead of its turn, on the reader's thread, in
// walk order. Nothing is created when it may not be or when the command file could not be opened.
void create_page_ahead(command_source& source, const std::string& page_path,
                       page_creation& creation);

// Hands `compile` a stream over the content of `source`; false when reading it failed.
bool read_command_source(command_source& source, const std::function<void(std::istream&)>& compile);

// Creates the page file `path` for writing, or with `replace` truncates what stands there; -1 with
// errno set when it cannot (EEXIST: without `replace`, something stands there).
int create_page_file(const std::string& path, bool replace);

// Page buffers the writer has written, kept for the next pages.
struct buffer_shelf;

// The thread that writes pages behind the compiler: the pages finished and not yet handed over,
// how many pieces of one page may wait for it, the shelf of written page buffers, and a hook run
// on its thread before each write (empty but in tests, which slow the writer with it).
struct page_writer {
  page_writer(job_pool& pool, std::size_t pages_per_hand_over, std::size_t pieces_in_flight,
              std::function<void()> before_write);
  job_batch jobs;
  std::size_t pieces_in_flight;
  std::shared_ptr<buffer_shelf> shelf;
  std::function<void()> before_write;
};

// The open page: what the compiler writes gathers in memory and is written, in pieces of 64 KiB,
// by the jobs of `writer`, which also close the file. Hand the writer's jobs over before waiting
// for the report of `finish`.
class page_sink : public std::streambuf {
 public:
  page_sink(page_writer& writer, int fd);
  ~page_sink() override;  // a page not finished is written as far as it got and closed
  page_sink(const page_sink&) = delete;
  page_sink& operator=(const page_sink&) = delete;

  // Writes the rest and closes the file; `report` learns whether every byte reached the file, and
  // its report arrives through the future.
  job_future<console_report> finish(std::function<console_report(bool written)> report);

 protected:
  int overflow(int c) override;

 private:
  struct file_state;
  void hand_over_piece();
  page_writer& writer_;
  std::shared_ptr<file_state> file_;
  std::unique_ptr<char[]> buffer_;
  std::deque<job_future<no_result>> pieces_;  // pieces handed over and not yet written
  bool finished_ = false;
};

// Waits until every page handed to `writer` is on disk.
void wait_for_page_writes(page_writer& writer);
