// Lets a caller follow the page compiler as it works: which command file each page comes from,
// which icon it links and which external files its blocks read. Rebuilds use it to remember what
// every page depends on.
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
