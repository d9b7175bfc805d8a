// What the page compiler works with besides the page itself: the records that carry from page to
// page, the run's prose settings, where the blocks' error lines go, and buffers reused from block
// to block. Each thread that compiles pages has its own, so no page shares state with another.
#pragma once

#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "block_records.h"
#include "prose_settings.h"

// The state one compiler carries from page to page.
struct page_context {
  block_records records;                 // each kind's last settings and the PDF counter
  prose_settings prose;                  // what the site's settings turn on
  std::ostream* errors = &std::cerr;     // where blocks write what went wrong
  std::string rows;                      // the HTML of a panel's or listing's rows, reused
  std::vector<std::string> spare_lines;  // strings of finished blocks' lines, for the next
};
