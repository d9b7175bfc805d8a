#include "page_files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ext/stdio_filebuf.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

// Command files up to this size are read whole by the reader; larger ones are streamed.
constexpr std::size_t read_ahead_limit = 64 * 1024;
// Pages go to the writer in pieces of this size; most pages are one piece, one write.
constexpr std::size_t piece_size = 64 * 1024;

// Reads what `fd` holds into `source.text`; false when it holds more than the read-ahead limit.
bool read_ahead(int fd, command_source& source) {
  static thread_local const std::unique_ptr<char[]> buffer =
      std::make_unique_for_overwrite<char[]>(read_ahead_limit + 1);
  std::size_t size = 0;
  while (size <= read_ahead_limit) {
    const ssize_t got = read(fd, buffer.get() + size, read_ahead_limit + 1 - size);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      // A line cut short by the error is not compiled, as when reading line by line.
      const std::string_view before(buffer.get(), size);
      const std::size_t line_end = before.rfind('\n');
      source.text.assign(before.substr(0, line_end == std::string_view::npos ? 0 : line_end + 1));
      source.read_failed = true;
      return true;
    }
    size += static_cast<std::size_t>(got);
    // Only a read of nothing is the end: a pipe, or a file system that serves reads in parts, can
    // read short before it.
    if (got == 0) {
      source.text.assign(buffer.get(), size);
      return true;
    }
  }
  return false;
}

// A stream buffer over text already in memory.
class text_source : public std::streambuf {
 public:
  explicit text_source(std::string& text) {
    setg(text.data(), text.data(), text.data() + text.size());
  }
};

}  // namespace

std::size_t spare_descriptors() {
  constexpr rlim_t reserve = 32;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur <= reserve) {
    return 0;
  }
  if (limit.rlim_cur == RLIM_INFINITY) {
    return SIZE_MAX;
  }
  return static_cast<std::size_t>(limit.rlim_cur - reserve);
}

command_source open_command_source(const std::string& path, std::string text, held_folder* folder) {
  command_source source;
  source.text = std::move(text);
  source.file = unique_fd(open_in_folder(folder, path, O_RDONLY | O_CLOEXEC));
  if (source.file.fd < 0) {
    return source;
  }
  source.opened = true;
  if (read_ahead(source.file.fd, source)) {
    source.file = unique_fd();
  } else if (lseek(source.file.fd, 0, SEEK_SET) != 0) {
    source.read_failed = true;
    source.file = unique_fd();
  }
  return source;
}

bool read_command_source(command_source& source,
                         const std::function<void(std::istream&)>& compile) {
  if (source.file.fd < 0) {
    text_source buffer(source.text);
    std::istream in(&buffer);
    compile(in);
    return !source.read_failed;
  }
  // The buffer takes the descriptor over and closes it.
  __gnu_cxx::stdio_filebuf<char> buffer(std::exchange(source.file.fd, -1), std::ios::in);
  std::istream in(&buffer);
  compile(in);
  return !in.bad();
}

int create_page_file(const std::string& path, bool replace, held_folder* folder) {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL);
  int fd = -1;
  do {
    fd = open_in_folder(folder, path, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool write_fully(int fd, std::string_view text, const std::function<void()>& before_write) {
  while (!text.empty()) {
    if (before_write) {
      before_write();
    }
    const ssize_t wrote = write(fd, text.data(), text.size());
    if (wrote < 0 && errno == EINTR) {
      continue;
    }
    if (wrote <= 0) {
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return true;
}

// --- The page in memory ----------------------------------------------------------------------

void memory_page::restart() {
  text_.size = 0;
  setp(text_.data.get(), text_.data.get() + text_.capacity);
}

void memory_page::finish() {
  if (pbase() != nullptr) {
    text_.size = static_cast<std::size_t>(pptr() - pbase());
    setp(nullptr, nullptr);
  }
}

int memory_page::overflow(int c) {
  const std::size_t used = static_cast<std::size_t>(pptr() - pbase());
  const std::size_t capacity = std::max<std::size_t>(2 * text_.capacity, 16 * 1024);
  std::unique_ptr<char[]> grown = std::make_unique_for_overwrite<char[]>(capacity);
  std::copy_n(text_.data.get(), used, grown.get());
  text_.data = std::move(grown);
  text_.capacity = capacity;
  setp(text_.data.get(), text_.data.get() + capacity);
  pbump(static_cast<int>(used));
  if (c != traits_type::eof()) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

// --- The page sink ---------------------------------------------------------------------------

page_sink::page_sink(int fd, const std::function<void()>& before_write)
    : file_(fd),
      before_write_(before_write),
      buffer_(std::make_unique_for_overwrite<char[]>(piece_size)) {
  setp(buffer_.get(), buffer_.get() + piece_size);
}

page_sink::~page_sink() {
  if (!finished_) {
    finish();
  }
}

int page_sink::overflow(int c) {
  write_buffered();
  if (c != traits_type::eof()) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

// A failed write spoils the rest of the page, as a stream that failed writes nothing more.
void page_sink::write_buffered() {
  const std::string_view piece(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  if (!failed_) {
    failed_ = !write_fully(file_.fd, piece, before_write_);
  }
  setp(buffer_.get(), buffer_.get() + piece_size);
}

bool page_sink::finish() {
  finished_ = true;
  write_buffered();
  const bool closed = file_.close_now();
  return !failed_ && closed;
}
