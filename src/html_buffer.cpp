#include "html_buffer.h"

#include <algorithm>
#include <charconv>

void grow(html_buffer& html, std::size_t size) {
  html.bytes.resize(std::max(html.used + size, 2 * html.bytes.size()));
}

void add_escaped(html_buffer& html, std::string_view text, html_use use) {
  constexpr std::size_t slice = 4096;  // escaped a slice at a time, so that room stays in bounds
  do {
    const std::string_view part = text.substr(0, slice);
    char* const start = room_for(html, html_escaped_room(part.size()));
    html.used += static_cast<std::size_t>(write_html_escaped(start, part, use) - start);
    text.remove_prefix(part.size());
  } while (!text.empty());
}

void add_quote_escaped(html_buffer& html, std::string_view value) {
  for (std::size_t quote = value.find('"'); quote != std::string_view::npos;
       quote = value.find('"')) {
    add(html, value.substr(0, quote));
    add(html, "&quot;");
    value.remove_prefix(quote + 1);
  }
  add(html, value);
}

void add_number(html_buffer& html, std::uint64_t number) {
  char* const start = room_for(html, 20);  // the digits of the largest number
  html.used += static_cast<std::size_t>(std::to_chars(start, start + 20, number).ptr - start);
}

void hand_over(html_buffer& html, std::ostream& page) {
  page.write(html.bytes.data(), static_cast<std::streamsize>(html.used));
  html.used = 0;
}
