// How text and code blocks read the external files they name. What a page's blocks need for that
// travels with the page's stream, so that whoever compiles a page says how its files are read.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "block_lines.h"

// Where relative names start, and what runs around each read; any hook may be left empty.
struct external_reads {
  std::string folder;  // the folder of the command file (e.g. "proj/docs")
  // Runs before a read: the file may be a page of this run, which must look as a one-thread run
  // would have left it.
  std::function<void()> settle;
  std::function<void(const std::filesystem::path& file)> observe;  // learns of every read
};

// Makes `reads` how the blocks written to `page` read their files, until it goes out of scope.
class external_reads_scope {
 public:
  external_reads_scope(std::ostream& page, const external_reads& reads);
  ~external_reads_scope();
  external_reads_scope(const external_reads_scope&) = delete;
  external_reads_scope& operator=(const external_reads_scope&) = delete;

 private:
  std::ostream& page_;
  void* saved_;
};

// Replaces `lines` by the lines of the external file that a text or code block written to `page`
// names in `src`, each without one trailing carriage return. When it is not a regular file or
// cannot be opened, `lines` is left empty, the line
// "Error: Could not open external `kind` file '<path>'" goes to `errors`, and the result is false.
bool load_external_lines(const std::string& src, std::string_view kind, block_lines& lines,
                         std::ostream& page, std::ostream& errors);
