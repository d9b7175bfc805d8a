// A file descriptor owned by one object.
#pragma once

#include <utility>

// A file descriptor closed when it goes out of scope; -1 when it holds none.
struct unique_fd {
  int fd = -1;
  unique_fd() = default;
  explicit unique_fd(int value) : fd(value) {}
  unique_fd(unique_fd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
  unique_fd& operator=(unique_fd&& other) noexcept;
  ~unique_fd();

  // Closes the descriptor now; false when closing it failed (a write may not have reached the
  // file).
  bool close_now();
};
