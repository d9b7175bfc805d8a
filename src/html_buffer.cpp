#include "html_buffer.h"

#include <algorithm>
#include <charconv>

void grow(html_buffer& html, std::size_t size) {
  html.bytes.resize(std::max(html.used + size, 2 * html.bytes.size()));
}

void add_long_escaped(html_buffer& html, std::string_view text, html_use use) {
  for (; !text.empty(); text.remove_prefix(std::min(text.size(), escaped_slice))) {
    add_escaped(html, text.substr(0, escaped_slice), use);
  }
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

char* put_number(char* at, std::uint64_t number) {
  return std::to_chars(at, at + 20, number).ptr;
}

void hand_over(html_buffer& html, std::ostream& page) {
  page.write(html.bytes.data(), static_cast<std::streamsize>(html.used));
  html.used = 0;
}
