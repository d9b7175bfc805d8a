#include "file_copy.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "unique_fd.h"

namespace fs = std::filesystem;

namespace {

// Copies `size` bytes from `in` to `out` the way the library does: sendfile, and a plain read
// and write loop for what it leaves; 0 or the error number. A failure of the loop is an I/O error.
int copy_bytes(int in, int out, off_t size) {
  if (size == 0) {
    return 0;
  }
  off_t offset = 0;
  const ssize_t sent = sendfile(out, in, &offset, static_cast<std::size_t>(size));
  if (sent < 0 && errno != ENOSYS && errno != EINVAL) {
    return errno;
  }
  if (sent == size) {
    return 0;
  }
  const off_t done = sent < 0 ? 0 : sent;
  if (lseek(in, done, SEEK_SET) < 0 || lseek(out, done, SEEK_SET) < 0) {
    return EIO;
  }
  char buffer[8192];
  ssize_t got = 0;
  while ((got = read(in, buffer, sizeof buffer)) > 0) {
    for (ssize_t put = 0; put < got;) {
      const ssize_t wrote = write(out, buffer + put, static_cast<std::size_t>(got - put));
      if (wrote <= 0) {
        return EIO;
      }
      put += wrote;
    }
  }
  return got < 0 ? EIO : 0;
}

// Copies into a file that did not exist, created with the source's permissions; false when the
// quick way does not apply and nothing was created.
bool copy_to_new_file(const std::string& from, const std::string& to, mode_t creation_mask,
                      held_folders* folders) {
  unique_fd in(
      open_in_folder(folders != nullptr ? &folders->source : nullptr, from, O_RDONLY | O_CLOEXEC));
  struct stat source {};
  if (in.fd < 0 || fstat(in.fd, &source) != 0 || !S_ISREG(source.st_mode)) {
    return false;
  }
  const mode_t permissions = source.st_mode & 07777;
  unique_fd out(open_in_folder(folders != nullptr ? &folders->target : nullptr, to,
                               O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permissions));
  if (out.fd < 0) {
    return false;
  }
  int error = 0;
  // Only what the mask took away, or a set-id or sticky bit, needs setting after the creation.
  const bool exact = (permissions & ~0777) == 0 && (permissions & creation_mask) == 0;
  if (!exact && fchmod(out.fd, source.st_mode) != 0) {
    error = errno;
  }
  if (error == 0) {
    error = copy_bytes(in.fd, out.fd, source.st_size);
  }
  if (error == 0 && !out.close_now()) {
    error = errno;
  }
  if (error != 0) {
    throw fs::filesystem_error("cannot copy file", fs::path(from), fs::path(to),
                               std::error_code(error, std::generic_category()));
  }
  return true;
}

}  // namespace

mode_t current_creation_mask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

void copy_regular_file(const std::string& from, const std::string& to, mode_t creation_mask,
                       held_folders* folders) {
  if (!copy_to_new_file(from, to, creation_mask, folders)) {
    fs::copy_file(fs::path(from), fs::path(to), fs::copy_options::overwrite_existing);
  }
}
