#include "block_lines.h"

#include <utility>

block_lines::block_lines(block_lines&& other) noexcept
    : places(std::move(other.places)),
      view(other.view),
      span(other.span),
      viewing(other.viewing),
      bytes(std::move(other.bytes)) {
  other.clear();
}

block_lines& block_lines::operator=(block_lines&& other) noexcept {
  if (this != &other) {
    places = std::move(other.places);
    view = other.view;
    span = other.span;
    viewing = other.viewing;
    bytes = std::move(other.bytes);
    other.clear();
  }
  return *this;
}

bool block_lines::operator==(const block_lines& other) const {
  if (size() != other.size()) {
    return false;
  }
  for (std::size_t index = 0; index < size(); ++index) {
    if ((*this)[index] != other[index]) {
      return false;
    }
  }
  return true;
}

void add_copy(block_lines& lines, std::string_view line) {
  keep_lines(lines);  // the copy goes after the lines in `bytes`
  const std::size_t offset = lines.bytes.size();
  lines.bytes.insert(lines.bytes.end(), line.begin(), line.end());
  lines.places.push_back({offset, line.size()});
}

void keep_lines(block_lines& lines) {
  if (!lines.viewing) {
    return;
  }
  lines.bytes.assign(lines.view, lines.view + lines.span);
  lines.view = nullptr;
  lines.viewing = false;
}
