#include "page_injection.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view body_end = "</body>";
constexpr std::uint64_t piece = 64 * 1024;

// Reads `length` bytes at `at` into `buffer`; false unless all of them came.
bool read_exactly(int fd, char* buffer, std::uint64_t length, std::uint64_t at) {
  for (std::uint64_t done = 0; done < length;) {
    const ssize_t got = pread(fd, buffer + done, length - done, static_cast<off_t>(at + done));
    if (got <= 0) {
      return false;
    }
    done += static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace

std::uint64_t script_offset(int fd, std::uint64_t size) {
  std::vector<char> buffer(piece + body_end.size());
  for (std::uint64_t end = size; end > 0;) {
    const std::uint64_t start = end > piece ? end - piece : 0;
    // A tag that straddles two pieces is found in the later one, which reads a little further.
    const std::uint64_t length = std::min<std::uint64_t>(end + body_end.size() - 1, size) - start;
    if (!read_exactly(fd, buffer.data(), length, start)) {
      return size;
    }
    const std::string_view window(buffer.data(), length);
    const std::size_t found = window.rfind(body_end);
    if (found != std::string_view::npos) {
      return start + found;
    }
    end = start;
  }
  return size;
}

std::int64_t read_injected(const injected_page& page, std::uint64_t at, char* buffer,
                           std::size_t max) {
  const std::uint64_t script_end = page.mark + page.script.size();
  const std::uint64_t total = page.size + page.script.size();
  if (at >= total || max == 0) {
    return 0;
  }
  if (at >= page.mark && at < script_end) {
    const std::size_t length = std::min<std::uint64_t>(max, script_end - at);
    std::memcpy(buffer, page.script.data() + (at - page.mark), length);
    return static_cast<std::int64_t>(length);
  }
  const std::uint64_t stop = at < page.mark ? page.mark : total;
  const std::uint64_t from = at < page.mark ? at : at - page.script.size();
  const ssize_t got =
      pread(page.fd, buffer, std::min<std::uint64_t>(max, stop - at), static_cast<off_t>(from));
  return got > 0 ? got : -1;
}
