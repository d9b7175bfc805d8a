// What the page compiler works with besides the page itself: the records that carry from page to
// page, the run's prose settings, where the blocks' error lines go, and buffers reused from block
// to block. Each thread that compiles pages has its own, so no page shares state with another.
#pragma once

#include <cstdint>
#include <iostream>
#include <ostream>
#include <string>
#include <string_view>

#include "block_lines.h"
#include "block_records.h"
#include "html_buffer.h"
#include "prose_settings.h"

// The state one compiler carries from page to page.
struct page_context {
  block_records records;              // each kind's last settings and the PDF counter
  prose_settings prose;               // what the site's settings turn on
  std::ostream* errors = &std::cerr;  // where blocks write what went wrong
  // The page's HTML not yet handed to its stream: blocks append to it, and it reaches the stream in
  // pieces, at the page's end, and before a block writes the stream directly or reads a file.
  html_buffer html;
  // The lines handed to the blocks stay where they are until the page ends (a command file held
  // in memory), so that blocks keep views of them; keep_lines() copies them when it ends.
  bool lines_last_the_page = false;
  // The page looked up a language to colour a listing in: it is the page that learns, once, that
  // the highlighter could not be loaded.
  bool language_looked_up = false;
  // Compiled before the pages ahead of it, from records that are not its start: the page stops
  // where its output would depend on them (a kind closed before it opened one, a PDF's number)
  // or where it would read a file, which must happen at its turn.
  bool start_unknown = false;
  bool start_needed = false;       // start unknown: the page stopped there
  std::uint32_t opened_kinds = 0;  // start unknown: a bit per kind it opened, in routing order
};

// Copies the lines that the blocks keep views of into the records of `context`, before the text
// they see goes away; later lines are copied as they come.
inline void keep_page_lines(page_context& context) {
  if (context.lines_last_the_page) {
    keep_lines(context.records);
    context.lines_last_the_page = false;
  }
}

// Appends `line` to the lines of a block of the page that `context` compiles: a view of it when
// the page's lines last until it ends, else a copy.
inline void add_line(const page_context& context, block_lines& lines, std::string_view line) {
  if (context.lines_last_the_page) {
    add_view(lines, line);
  } else {
    add_copy(lines, line);
  }
}
