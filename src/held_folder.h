// Files opened by their names in folders held open rather than by their full paths: the kernel
// then looks up one name per file instead of every folder on the way.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "job_pool.h"
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

// The folders that the jobs of one hand-over (`job_batch`) open files between, opened by the thread
// that runs them. That thread must close them too (each job thread has a descriptor table of its
// own), so the thread gathering the jobs holds a hand-over's folders only while it gathers it.
// Without job threads every job runs at once where it is gathered, through one pair kept for all.
struct batch_folders {
  std::shared_ptr<held_folders> kept;
  std::weak_ptr<held_folders> gathering;
};

// The folders for the next job gathered into `batch`: those of the hand-over being gathered, or
// new ones.
std::shared_ptr<held_folders> folders_for_next(batch_folders& folders, const job_batch& batch);
