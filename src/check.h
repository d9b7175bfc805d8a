// orvello check: reads proj/ as a build would and reports the mistakes the page language
// accepts without a word, at file and line.
#pragma once

// What the check counts as failure.
struct check_options {
  bool werror = false;  // warnings count as errors
};

// Checks proj/ in the working folder, writing nothing; returns 1 when there is an error, else 0.
int run_check(const check_options& options);
