// The lines that a text panel or a listing keeps: views of the page's text while the page
// compiles, so that a line is not copied on its way to the panel, and views of bytes of the
// block's own once the page ends, since the records carry the lines to later pages.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>
#include <vector>

// Where a line of a block lies: `offset` bytes after the block's start, `size` bytes long.
struct line_place {
  std::size_t offset = 0;
  std::size_t size = 0;
};

// A block's lines: each is seen at its place from the block's start, the first line's place in
// the page's text while they are views of it (`view`), else the start of `bytes`. Views are of one
// text, in its order.
struct block_lines {
  std::vector<line_place> places;
  const char* view = nullptr;  // while they are views: where the first line lies
  std::size_t span = 0;        // while they are views: from `view` to the end of the last line
  bool viewing = false;        // they are views of a text that is not yet copied into `bytes`
  std::vector<char> bytes;

  block_lines() = default;
  block_lines(const block_lines& other) = default;
  block_lines& operator=(const block_lines& other) = default;
  // What is moved away is no longer seen by the lines left behind, which are then empty.
  block_lines(block_lines&& other) noexcept;
  block_lines& operator=(block_lines&& other) noexcept;

  // Where the places count from.
  const char* start() const { return viewing ? view : bytes.data(); }

  // The line at `index`.
  std::string_view operator[](std::size_t index) const {
    return {start() + places[index].offset, places[index].size};
  }
  bool operator==(const block_lines& other) const;
  bool empty() const { return places.empty(); }
  std::size_t size() const { return places.size(); }

  // The lines one after another, for a range-for.
  struct iterator {
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    const char* base = nullptr;
    const line_place* at = nullptr;

    std::string_view operator*() const { return {base + at->offset, at->size}; }
    iterator& operator++() {
      ++at;
      return *this;
    }
    iterator operator++(int) {
      iterator before = *this;
      ++at;
      return before;
    }
    bool operator==(const iterator& other) const { return at == other.at; }
  };
  iterator begin() const { return {start(), places.data()}; }
  iterator end() const { return {start(), places.data() + places.size()}; }

  // Empties the lines, keeping their room for the next block.
  void clear() {
    places.clear();
    view = nullptr;
    span = 0;
    viewing = false;
    bytes.clear();
  }
};

// Appends a copy of `line`, whose text may not last.
void add_copy(block_lines& lines, std::string_view line);

// Appends `line`, a view of text that stays where it is until keep_lines() is called on `lines`
// and that follows the lines viewed before it in the same text (an empty line too lies in it); a
// line after copied ones is copied too.
inline void add_view(block_lines& lines, std::string_view line) {
  if (!lines.viewing) {
    if (!lines.places.empty()) {
      add_copy(lines, line);
      return;
    }
    lines.viewing = true;
    lines.view = line.data();
  }
  const auto offset = static_cast<std::size_t>(line.data() - lines.view);
  lines.places.push_back({offset, line.size()});
  lines.span = offset + line.size();
}

// Copies into `lines` the text that their views see, before it goes away: the stretch from the
// first to the last, in one piece.
void keep_lines(block_lines& lines);
