#include "held_folder.h"

#include <fcntl.h>

#include <string_view>

int open_in_folder(held_folder* folder, const std::string& file, int flags, mode_t mode) {
  const std::size_t slash = file.rfind('/');
  if (folder == nullptr || slash == std::string::npos || slash + 1 == file.size()) {
    return open(file.c_str(), flags, mode);
  }
  const std::string_view path(file.data(), slash);
  if (folder->path != path) {
    folder->path = path;
    // Opening the folder needs no permission on it; the name's lookup in it then needs what a
    // lookup through the full path needs.
    folder->fd = unique_fd(open(folder->path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  if (folder->fd.fd < 0) {
    return open(file.c_str(), flags, mode);
  }
  return openat(folder->fd.fd, file.c_str() + slash + 1, flags, mode);
}

std::shared_ptr<held_folders> folders_for_next(batch_folders& folders, const job_batch& batch) {
  if (batch.pool.threads.empty()) {
    if (!folders.kept) {
      folders.kept = std::make_shared<held_folders>();
    }
    return folders.kept;
  }
  std::shared_ptr<held_folders> next = batch.jobs.empty() ? nullptr : folders.gathering.lock();
  if (!next) {
    next = std::make_shared<held_folders>();
    folders.gathering = next;
  }
  return next;
}
