#include "unique_fd.h"

#include <unistd.h>

unique_fd& unique_fd::operator=(unique_fd&& other) noexcept {
  if (this != &other) {
    close_now();
    fd = std::exchange(other.fd, -1);
  }
  return *this;
}

unique_fd::~unique_fd() {
  close_now();
}

bool unique_fd::close_now() {
  return fd < 0 || close(std::exchange(fd, -1)) == 0;
}
