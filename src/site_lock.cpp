#include "site_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

int open_folder(const std::filesystem::path& folder) {
  return open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// flock, tried again when a signal interrupts it.
int flock_retrying(int fd, int operation) {
  int result = 0;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

held_lock& held_lock::operator=(held_lock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      close(fd_);
    }
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

held_lock::~held_lock() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

std::optional<held_lock> claim_serving(const std::filesystem::path& folder) {
  const int fd = open_folder(folder);
  if (fd < 0) {
    return held_lock();
  }
  if (flock_retrying(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return std::nullopt;
  }
  return held_lock(fd);
}

held_lock lock_site(const std::filesystem::path& proj, site_use use, std::ostream& notices) {
  const int fd = open_folder(proj);
  if (fd < 0) {
    return held_lock();
  }
  const int mode = use == site_use::build ? LOCK_EX : LOCK_SH;
  if (flock_retrying(fd, mode | LOCK_NB) != 0) {
    notices << "orvello: another orvello is building site/ here; waiting for it to end"
            << std::endl;
    flock_retrying(fd, mode);
  }
  return held_lock(fd);
}

std::optional<std::pair<std::uint64_t, std::int64_t>> site_stamp(
    const std::filesystem::path& site) {
  struct stat status {};
  if (stat(site.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return std::pair<std::uint64_t, std::int64_t>{
      status.st_ino, status.st_ctim.tv_sec * 1000000000LL + status.st_ctim.tv_nsec};
}
