// Step 5 of a run: every command file compiled into its page and reported in walk order, the pages
// read, compiled and written ahead of their turn on helper threads where there are cores for them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "page_observer.h"

struct site_frame;
struct walk_listing;

// How the pages of a run are shared out. Beside the walk's thread, helper threads take batches of
// command files end to end: each reads its file, compiles the page without knowing where it starts
// (it stops where the page needs its start), creates the page file and writes it. The walk's thread
// takes the batches in walk order, hands on the records of the kinds each page opened, prints the
// reports, and compiles at its turn every page that needed its start, a link and a file too large
// to read whole.
//
// Deadlock-free whatever the sizes: a helper never waits for anything, and every file it opens is
// closed before it takes the next page, and the batch's folders before it takes the next batch,
// so it holds at most four descriptors (the source and target folders, a command file and its
// page) and only while it works. The walk's thread hands each batch to the helpers as soon as it
// is complete (full, or its folder ended), before it waits for any, and runs a batch that no
// helper has started itself rather than wait for it, holding four more while it does; so it
// waits only for a batch a helper is running, which ends. The batches ahead hold memory only.
// pipeline_descriptors() counts what the helpers and the walk's thread preparing a batch hold.
// Without helpers every page is compiled at its turn on the walk's thread, and nothing is held.
struct pipeline_windows {
  std::size_t helpers = 0;          // helper threads at most
  std::size_t pages_per_batch = 1;  // command files handed to a helper at once, at most
  std::size_t batches_ahead = 0;    // batches handed over and not yet at their turn
};

// The windows for a run that may hold `spare` descriptors beyond what a one-thread run needs.
pipeline_windows pipeline_windows_for(std::size_t spare);

// The descriptors that `windows` may hold at once beyond what a one-thread run needs.
std::size_t pipeline_descriptors(const pipeline_windows& windows);

// What to compile, and how far the pages may be prepared ahead of their turn.
struct page_pipeline_request {
  std::string input;                      // "proj"
  std::string output;                     // "site", or where a rebuild stages its run
  std::vector<std::string> extensions;    // of command files
  pipeline_windows windows;               // how many helpers the budget allows, and the batches
  const site_frame* site = nullptr;       // frames the pages when the site has settings
  const walk_listing* listing = nullptr;  // what an earlier step walked, to walk again
  // Helper threads to start, within what the windows allow; with none, the walk's thread compiles
  // every page at its turn.
  unsigned compilers = 0;
};

// A request with the windows of a run in this process: those of the open files its soft limit
// spares (spare_descriptors()), and a helper thread per core beyond the first.
page_pipeline_request page_request(const std::string& input, const std::string& output,
                                   const std::vector<std::string>& extensions);

// What the pipeline calls as it goes; any may be left empty.
struct page_pipeline_hooks {
  const page_observer* observer = nullptr;  // learns of every page and of its external reads
  std::function<void()> before_write;       // on the writing thread before each write
};

// Compiles every command file below `input` into an .htm page at the same place below `output`,
// printing one line per page in walk order; false when the walk could not complete or any page
// is missing or incomplete.
bool run_page_pipeline(const page_pipeline_request& request, const page_pipeline_hooks& hooks);
