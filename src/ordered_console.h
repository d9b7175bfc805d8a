// Console lines of work that ends out of order, printed in the order the work was started.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>

#include "job_pool.h"

// What one piece of work has to say: `err` goes to standard error first, then `out` to standard
// output; `ok` is false when the work failed.
struct console_report {
  std::string err;
  std::string out;
  bool ok = true;
};

// The reports still to be printed, oldest first, and whether every printed one was ok. A report
// may come from a job still gathered in a batch, which no other thread can hand over: whoever adds
// reports sets `hand_over_gathered`, and nothing waits for a report before calling it.
struct ordered_reports {
  std::deque<job_future<console_report>> pending;
  std::size_t limit = 64;  // more pending reports than this wait for the oldest
  bool all_ok = true;
  std::function<void()> hand_over_gathered;  // hands every gathered job to its pool
};

// Appends the report of work still running; once more than `limit` wait, prints the oldest ones
// until half of them are left.
void add_report(ordered_reports& reports, job_future<console_report> report);

// Appends a report that is already complete.
void add_report(ordered_reports& reports, console_report report);

// Prints the reports whose work has ended, oldest first, up to the first that has not.
void print_finished_reports(ordered_reports& reports);

// Waits for every pending report and prints them all in order.
void print_all_reports(ordered_reports& reports);
