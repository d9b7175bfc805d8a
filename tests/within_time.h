// Runs a piece of work that may hang in a child process, so that a hang fails one test instead of
// stopping the whole suite.
#pragma once

#include <chrono>
#include <functional>

// True when `work` returned within `limit` in a child process; the child is killed otherwise.
bool finishes_within(std::chrono::milliseconds limit, const std::function<void()>& work);
