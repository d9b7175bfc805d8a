// HTML escaping, the one for the program and for the highlighting module, which compiles this
// unit in rather than linking the core.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Where escaped text goes: an element's text, or the inside of a double-quoted attribute.
enum class html_use { text, attribute };

// Appends `text` to `out` with "&", "<" and ">" written as entities, and '"' too in an attribute;
// every other byte, a NUL included, is copied as it is.
void append_html_escaped(std::string& out, std::string_view text, html_use use = html_use::text);

// The room that write_html_escaped needs for `size` bytes: six for each (the longest entity), and
// sixteen to spare, as it stores many bytes at once.
constexpr std::size_t html_escaped_room(std::size_t size) {
  return 6 * size + 16;
}

// Writes `text` escaped as append_html_escaped does to `out`, which has html_escaped_room() of
// its size, and returns the end of what it wrote.
char* write_html_escaped(char* out, std::string_view text, html_use use = html_use::text);

// `text` escaped as append_html_escaped does.
std::string html_escape(std::string_view text, html_use use = html_use::text);
