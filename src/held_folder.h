// Files opened by their names in folders held open rather than by their full paths: the kernel
// then looks up one name per file instead of every folder on the way.
#pragma once

#include <sys/types.h>

#include <string>

#include "unique_fd.h"

// The folder that the file last opened through it lies in, held open.
struct held_folder {
  std::string path;  // as the files' paths name it
  unique_fd fd;      // -1 when it could not be opened: its files are opened by their full paths
};

// The folders that a run of files is read from and written to.
struct held_folders {
  held_folder source;
  held_folder target;
};

// Opens `file` as open(2) would, by its name in `folder` (which first opens the folder of `file`
// when it holds another), or by its full path when `folder` is null or its folder cannot be
// opened, so that a failure is the one opening the full path gives; -1 with errno set.
int open_in_folder(held_folder* folder, const std::string& file, int flags, mode_t mode = 0);
