// A page's HTML gathered in a buffer that is reused from page to page and handed to the page's
// stream in large pieces. Adding text to it checks for room once and copies the bytes, where every
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

// Copies `text` to `at`, in room that room_for made, and returns the end of the copy.
inline char* put(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

// Writes the decimal digits of `number` (at most 20) to `at`, as put does.
char* put_number(char* at, std::uint64_t number);

// Counts what was put in room that room_for made, up to `end`, as appended to `html`.
inline void appended_until(html_buffer& html, const char* end) {
  html.used = static_cast<std::size_t>(end - html.bytes.data());
}

// Appends `text` to `html`.
inline void add(html_buffer& html, std::string_view text) {
  appended_until(html, put(room_for(html, text.size()), text));
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

// Writes what `html` holds to `page` and empties it.
void hand_over(html_buffer& html, std::ostream& page);

// Hands what `html` holds to `page` once it is a piece worth writing, so that a long panel or
// listing does not gather whole in memory. Each hand-over passes the stream's sentry and buffer
// (a file stream writes a piece over 1 KiB straight through, in one system call), so pieces are
// large.
inline void hand_over_piece(html_buffer& html, std::ostream& page) {
  constexpr std::size_t piece = 16384;
  if (html.used >= piece) {
    hand_over(html, page);
  }
}
