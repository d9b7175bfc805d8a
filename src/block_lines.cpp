#include "block_lines.h"

#include <algorithm>
#include <cstdint>

namespace {

std::uintptr_t address(const char* at) {
  return reinterpret_cast<std::uintptr_t>(at);
}

// Whether the bytes of `view` lie in the `size` bytes at `first`.
bool inside(std::string_view view, const char* first, std::size_t size) {
  const std::uintptr_t at = address(view.data());
  return at >= address(first) && at + view.size() <= address(first) + size;
}

// Points each view of the `size` bytes at `from` at the same place in `to`; a view elsewhere,
// an empty one of a run of the page's lines too, stays as it is.
void rebase(std::vector<std::string_view>& views, const char* from, std::size_t size,
            const char* to) {
  for (std::string_view& view : views) {
    if (inside(view, from, size)) {
      view = {to + (view.data() - from), view.size()};
    }
  }
}

// Makes room for `more` bytes after those of `lines`, moving them (and their views) to a larger
// buffer when there is none.
void make_room(block_lines& lines, std::size_t more) {
  std::vector<char>& bytes = lines.bytes;
  if (bytes.capacity() - bytes.size() >= more) {
    return;
  }
  std::vector<char> larger;
  larger.reserve(std::max(bytes.size() + more, 2 * bytes.capacity()));
  larger.assign(bytes.begin(), bytes.end());
  rebase(lines.views, bytes.data(), bytes.size(), larger.data());
  bytes.swap(larger);
}

// Whether `view` sees text that is not the lines' own.
bool foreign(std::string_view view, const block_lines& lines) {
  return !view.empty() && !inside(view, lines.bytes.data(), lines.bytes.size());
}

// The index after the last view from `begin` on that continues the text of the one before it:
// starts no more than a line end ("\r\n") after it, in text that is not the lines' own. A page's
// lines in a row are copied in one piece with their line ends.
std::size_t end_of_run(const block_lines& lines, std::size_t begin) {
  const std::uintptr_t own = address(lines.bytes.data());
  const std::uintptr_t own_end = own + lines.bytes.size();
  const std::string_view* const views = lines.views.data();
  std::uintptr_t ended = address(views[begin].data()) + views[begin].size();
  std::size_t end = begin + 1;
  for (; end < lines.views.size(); ++end) {
    const std::uintptr_t at = address(views[end].data());
    if (at - ended > 2 || (at >= own && at <= own_end)) {
      break;  // before the last one ended too, as the difference wraps round
    }
    ended = at + views[end].size();
  }
  return end;
}

// Copies the text of the views from `begin` to `end`, a run that end_of_run() found, into the
// lines' own bytes.
void copy_run(block_lines& lines, std::size_t begin, std::size_t end) {
  const char* const start = lines.views[begin].data();
  const char* const ended = lines.views[end - 1].data() + lines.views[end - 1].size();
  make_room(lines, static_cast<std::size_t>(ended - start));
  const std::size_t at = lines.bytes.size();
  lines.bytes.insert(lines.bytes.end(), start, ended);
  const char* const to = lines.bytes.data() + at;
  std::string_view* const views = lines.views.data();
  for (std::size_t i = begin; i < end; ++i) {
    views[i] = {to + (views[i].data() - start), views[i].size()};  // an empty one too lies there
  }
}

}  // namespace

block_lines::block_lines(const block_lines& other) : views(other.views), bytes(other.bytes) {
  rebase(views, other.bytes.data(), other.bytes.size(), bytes.data());
}

block_lines& block_lines::operator=(const block_lines& other) {
  if (this != &other) {
    views = other.views;
    bytes = other.bytes;
    rebase(views, other.bytes.data(), other.bytes.size(), bytes.data());
  }
  return *this;
}

void add_copy(block_lines& lines, std::string_view line) {
  if (line.empty()) {
    lines.views.emplace_back();
    return;
  }
  make_room(lines, line.size());
  const std::size_t at = lines.bytes.size();
  lines.bytes.insert(lines.bytes.end(), line.begin(), line.end());
  lines.views.emplace_back(lines.bytes.data() + at, line.size());
}

void keep_lines(block_lines& lines) {
  for (std::size_t at = 0; at < lines.views.size();) {
    if (!foreign(lines.views[at], lines)) {
      if (lines.views[at].empty()) {
        lines.views[at] = {};
      }
      ++at;
      continue;
    }
    const std::size_t end = end_of_run(lines, at);
    copy_run(lines, at, end);
    at = end;
  }
}
