// The lines that a text panel or a listing keeps: views of the page's text while the page
// compiles, so that a line is not copied on its way to the panel, and views of bytes of the
// block's own once the page ends, since the records carry the lines to later pages.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// A block's lines. A view sees the page's text, or `bytes`; a copy sees the copy's own bytes.
struct block_lines {
  std::vector<std::string_view> views;
  // The text of the views the block owns. A vector's buffer stays where it is when the vector is
  // moved or swapped, as the records are from thread to thread; a string's short text would not.
  std::vector<char> bytes;

  block_lines() = default;
  block_lines(const block_lines& other);
  block_lines& operator=(const block_lines& other);
  block_lines(block_lines&&) noexcept = default;
  block_lines& operator=(block_lines&&) noexcept = default;

  bool operator==(const block_lines& other) const { return views == other.views; }
  bool empty() const { return views.empty(); }
  std::size_t size() const { return views.size(); }
  auto begin() const { return views.begin(); }
  auto end() const { return views.end(); }
  // Empties the lines, keeping their room for the next block.
  void clear() {
    views.clear();
    bytes.clear();
  }
};

// Appends `line`, a view of text that stays where it is until keep_lines() is called on `lines`.
inline void add_view(block_lines& lines, std::string_view line) {
  lines.views.push_back(line);
}

// Appends a copy of `line`, whose text may not last.
void add_copy(block_lines& lines, std::string_view line);

// Copies into `lines` the text of every view that is not yet their own, before the text they see
// goes away.
void keep_lines(block_lines& lines);
