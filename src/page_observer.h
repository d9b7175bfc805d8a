// Lets a caller follow the page compiler as it works: which command file each page comes from,
// which icon it links and which external files its blocks read. Rebuilds use it to remember what
// every page depends on.
#pragma once

#include <filesystem>
#include <functional>

#include "utils.h"

struct block_records;

// What to call; any member may be left empty. A page starts from the records `start` and leaves
// the records `end` for the next.
struct page_observer {
  std::function<void(const std::filesystem::path& command_file, const page_icon& icon,
                     const block_records& start)>
      page_started;
  std::function<void(bool written, const block_records& end)> page_finished;
  std::function<void(const std::filesystem::path& file)> external_read;
};
