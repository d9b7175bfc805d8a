// Step 5 of a run: every command file compiled into its page, in walk order, with the file-system
// work around the compiler (reading command files, creating and writing pages) done beside it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "page_observer.h"

struct site_frame;
struct walk_listing;

// How far the file-system work may run ahead of the compiler and behind it.
//
// Deadlock-free whatever the sizes: the compiler alone gathers jobs and it hands over what it
// gathered before it waits for any of their results (a file read ahead, a piece of a page, a
// report), and no job ever waits for the compiler. The sizes keep the descriptors held within
// the budget: a file read ahead holds two (a large command file stays open, and its page is
// created ahead), a page not yet reported one until it is written, and the window of reports may
// grow by one before the compiler waits; pipeline_descriptors() counts them. Without helpers
// every job runs at once on the compiler's thread and nothing is held.
struct pipeline_windows {
  bool helpers = false;                 // a reader and a writer thread beside the compiler
  std::size_t read_ahead = 0;           // command files read and their pages created ahead
  std::size_t files_per_hand_over = 1;  // command files given to the reader at once
  std::size_t reports_waiting = 0;      // unreported pages before the compiler waits for one
  std::size_t pages_per_hand_over = 1;  // finished pages given to the writer at once
  std::size_t pieces_in_flight = 1;     // pieces of one page handed over and not yet written
};

// The windows for a run that may hold `spare` descriptors beyond what a one-thread run needs.
pipeline_windows pipeline_windows_for(std::size_t spare);

// The descriptors that `windows` may hold at once beyond what a one-thread run needs.
std::size_t pipeline_descriptors(const pipeline_windows& windows);

// What to compile, and how far the work around the compiler may run ahead and behind.
struct page_pipeline_request {
  std::string input;                      // "proj"
  std::string output;                     // "site", or where a rebuild stages its run
  std::vector<std::string> extensions;    // of command files
  pipeline_windows windows;               // helpers start only where there is more than one core
  const site_frame* site = nullptr;       // frames the pages when the site has settings
  const walk_listing* listing = nullptr;  // what an earlier step walked, to walk again
};

// A request with the windows of a run in this process: those of the open files its soft limit
// spares (spare_descriptors()).
page_pipeline_request page_request(const std::string& input, const std::string& output,
                                   const std::vector<std::string>& extensions);

// What the pipeline calls as it goes; any may be left empty.
struct page_pipeline_hooks {
  const page_observer* observer = nullptr;  // learns of every page and of its external reads
  std::function<void()> before_write;       // on the writer's thread before each write
};

// Compiles every command file below `input` into an .htm page at the same place below `output`,
// printing one line per page in walk order; false when the walk could not complete or any page
// is missing or incomplete.
bool run_page_pipeline(const page_pipeline_request& request, const page_pipeline_hooks& hooks);
