// A page's HTML gathered in a buffer that is reused from block to block and handed to the page's
// stream in pieces. Adding text to it checks for room once and copies the bytes, where every
// insertion into a stream passes its sentry and a virtual call of its buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

#include "html_escape.h"

// HTML not yet handed to the page: the first `used` bytes of `bytes`; the rest is room to write in.
struct html_buffer {
  std::string bytes;
  std::size_t used = 0;
};

// Makes `bytes` long enough for `size` more bytes after the first `used`.
void grow(html_buffer& html, std::size_t size);

// Where `size` more bytes go in `html`; whoever writes them adds what it wrote to `used`.
inline char* room_for(html_buffer& html, std::size_t size) {
  if (html.bytes.size() - html.used < size) {
    grow(html, size);
  }
  return html.bytes.data() + html.used;
}

// Appends `text` to `html`.
inline void add(html_buffer& html, std::string_view text) {
  std::memcpy(room_for(html, text.size()), text.data(), text.size());
  html.used += text.size();
}

// As add_escaped below, for a text longer than `escaped_slice`.
void add_long_escaped(html_buffer& html, std::string_view text, html_use use);

// The longest text escaped in one piece: room for longer ones is made a slice at a time.
constexpr std::size_t escaped_slice = 4096;

// Appends `text` escaped as append_html_escaped escapes it.
inline void add_escaped(html_buffer& html, std::string_view text, html_use use = html_use::text) {
  if (text.size() > escaped_slice) {
    add_long_escaped(html, text, use);
    return;
  }
  char* const start = room_for(html, html_escaped_room(text.size()));
  html.used += static_cast<std::size_t>(write_html_escaped(start, text, use) - start);
}

// Appends `value` with each double quote written as "&quot;", as escape_quotes writes it.
void add_quote_escaped(html_buffer& html, std::string_view value);

// Appends the decimal digits of `number`.
void add_number(html_buffer& html, std::uint64_t number);

// Writes what `html` holds to `page` and empties it.
void hand_over(html_buffer& html, std::ostream& page);

// Hands what `html` holds to `page` once it is a piece worth writing. The rows of a panel or a
// listing go out in pieces under 1 KiB, which gather in the page's stream buffer (larger pieces
// are written straight through, one system call each).
inline void hand_over_piece(html_buffer& html, std::ostream& page) {
  constexpr std::size_t piece = 512;  // with one row more, still under 1 KiB as a rule
  if (html.used >= piece) {
    hand_over(html, page);
  }
}
