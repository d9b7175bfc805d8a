// Lets a caller follow the page compiler as it works: which command file each page comes from,
// which icon it links and which external files its blocks read. Rebuilds use it to remember what
// every page depends on; with no observer installed it costs one test of a pointer.
#pragma once

#include <filesystem>
#include <functional>

#include "utils.h"

// What to call; any member may be left empty.
struct page_observer {
  std::function<void(const std::filesystem::path& command_file, const page_icon& icon)>
      page_started;
  std::function<void(bool written)> page_finished;
  std::function<void(const std::filesystem::path& file)> external_read;
};

// The observer told about the pages compiled now; none when it is null.
extern page_observer* active_page_observer;

// The page compiler is about to compile `command_file` with `icon`.
void observe_page_start(const std::filesystem::path& command_file, const page_icon& icon);

// The page compiler is done with the page it started last; `written` when it is whole.
void observe_page_end(bool written);

// A text or code block is about to read `file`.
void observe_external_read(const std::filesystem::path& file);
