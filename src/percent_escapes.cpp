#include "percent_escapes.h"

namespace {

std::optional<int> hex_digit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return std::nullopt;
}

}  // namespace

std::optional<char> percent_escape_at(std::string_view text, std::size_t at) {
  if (at + 2 >= text.size() || text[at] != '%') {
    return std::nullopt;
  }
  const std::optional<int> high = hex_digit(text[at + 1]);
  const std::optional<int> low = hex_digit(text[at + 2]);
  if (!high || !low) {
    return std::nullopt;
  }
  return static_cast<char>(*high * 16 + *low);
}

std::string percent_decoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::optional<char> escaped = percent_escape_at(text, i);
    decoded += escaped ? *escaped : text[i];
    i += escaped ? 2 : 0;
  }
  return decoded;
}
