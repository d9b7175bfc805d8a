#include "block_lines.h"

#include <utility>

block_lines::block_lines(const block_lines& other)
    : places(other.places),
      base(other.viewing ? other.base : nullptr),
      span(other.span),
      viewing(other.viewing),
      bytes(other.bytes) {
  if (!viewing) {
    base = bytes.data();
  }
}

block_lines& block_lines::operator=(const block_lines& other) {
  if (this != &other) {
    places = other.places;
    span = other.span;
    viewing = other.viewing;
    bytes = other.bytes;
    base = viewing ? other.base : bytes.data();
  }
  return *this;
}

block_lines::block_lines(block_lines&& other) noexcept
    : places(std::move(other.places)),
      base(other.base),
      span(other.span),
      viewing(other.viewing),
      bytes(std::move(other.bytes)) {
  other.clear();  // its base saw the bytes that moved here
}

block_lines& block_lines::operator=(block_lines&& other) noexcept {
  if (this != &other) {
    places = std::move(other.places);
    base = other.base;
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
  lines.base = lines.bytes.data();  // wherever the bytes are now
  lines.places.push_back({offset, line.size()});
}

void keep_lines(block_lines& lines) {
  if (!lines.viewing) {
    return;
  }
  lines.bytes.assign(lines.base, lines.base + lines.span);
  lines.base = lines.bytes.data();
  lines.viewing = false;
}
