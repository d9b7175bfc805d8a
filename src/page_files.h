// The files of the page compiler: command files read whole, pages compiled in memory, page files
// created and written.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>

#include "held_folder.h"
#include "unique_fd.h"

// A command file as it was opened: read whole when it is small, else still open.
struct command_source {
  bool opened = false;       // false when the file could not be opened
  unique_fd file;            // open while the content is still to be read
  std::string text;          // the whole content, read ahead
  bool read_failed = false;  // reading ended with an error; `text` holds the whole lines before it
};

// File descriptors the run may hold beyond what a one-thread run needs: the soft limit on open
// files less a reserve for the walk, the console and external files.
std::size_t spare_descriptors();

// Opens `path` (by its name in `folder`, see open_in_folder) and reads it ahead when it is small,
// into `text` (whose capacity it reuses).
command_source open_command_source(const std::string& path, std::string text = {},
                                   held_folder* folder = nullptr);

// Whether page files may still be created ahead of their turn. A page must come into being when
// a one-thread run would create it, so creating ahead stops for the rest of the run at the first
// failure that leaves the place free, and when a block reads an external file (it may be a page of
// this run).
struct page_creation {
  std::atomic<bool> ahead{true};
};

// Hands `compile` a stream over the content of `source`; false when reading it failed.
bool read_command_source(command_source& source, const std::function<void(std::istream&)>& compile);

// Creates the page file `path` (by its name in `folder`, see open_in_folder) for writing, or with
// `replace` truncates what stands there; -1 with errno set when it cannot (EEXIST: without
// `replace`, something stands there).
int create_page_file(const std::string& path, bool replace, held_folder* folder = nullptr);

// Writes the whole of `text` to `fd`, running `before_write` (when set) before each write; false
// when a write failed.
bool write_fully(int fd, std::string_view text, const std::function<void()>& before_write);

// The text of a page compiled in memory; its buffer serves page after page.
struct page_text {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  std::size_t capacity = 0;
  std::string_view view() const { return {data.get(), size}; }
};

// A stream buffer that compiles a page into `text`, which holds the page once this is finished or
// destroyed; restarted, it compiles the next page into `text` again.
class memory_page : public std::streambuf {
 public:
  explicit memory_page(page_text& text) : text_(text) { restart(); }
  ~memory_page() override { finish(); }
  memory_page(const memory_page&) = delete;
  memory_page& operator=(const memory_page&) = delete;

  // Starts a page over whatever `text` held.
  void restart();

  // Ends the text where the page ends.
  void finish();

 protected:
  int overflow(int c) override;

 private:
  page_text& text_;
};

// The open page of a page compiled at its turn: what the compiler writes gathers in a buffer and
// is written in pieces of 64 KiB, `before_write` called before each write (empty but in tests,
// which slow the writes with it).
class page_sink : public std::streambuf {
 public:
  page_sink(int fd, const std::function<void()>& before_write);
  ~page_sink() override;  // a page not finished is written as far as it got and closed
  page_sink(const page_sink&) = delete;
  page_sink& operator=(const page_sink&) = delete;

  // Writes the rest and closes the file; whether every byte reached the file.
  bool finish();

 protected:
  int overflow(int c) override;

 private:
  void write_buffered();
  unique_fd file_;
  const std::function<void()>& before_write_;
  std::unique_ptr<char[]> buffer_;
  bool failed_ = false;
  bool finished_ = false;
};
