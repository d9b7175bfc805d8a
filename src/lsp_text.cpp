#include "lsp_text.h"

#include <algorithm>
#include <cctype>

#include "percent_escapes.h"

std::vector<std::string_view> buffer_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    if (end == std::string_view::npos) {
      return lines;
    }
    start = end + 1;
  }
}

namespace {

// The length of the UTF-8 sequence that starts with `lead`: 1 for anything that starts none.
std::size_t sequence_length(unsigned char lead) {
  return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

}  // namespace

std::size_t utf16_column(std::string_view line, std::size_t bytes) {
  std::size_t column = 0;
  for (std::size_t at = 0; at < bytes && at < line.size();) {
    const std::size_t length = sequence_length(static_cast<unsigned char>(line[at]));
    column += length == 4 ? 2 : 1;
    at += length;
  }
  return column;
}

std::size_t byte_column(std::string_view line, std::size_t column) {
  std::size_t at = 0;
  for (std::size_t units = 0; at < line.size() && units < column;) {
    const std::size_t length = sequence_length(static_cast<unsigned char>(line[at]));
    units += length == 4 ? 2 : 1;
    at += length;
  }
  return std::min(at, line.size());
}

std::size_t text_offset(std::string_view text, std::size_t line, std::size_t column) {
  std::size_t start = 0;
  for (std::size_t at = 0; at < line; ++at) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      return text.size();
    }
    start = end + 1;
  }
  std::string_view rest = text.substr(start);
  rest = rest.substr(0, rest.find('\n'));
  return start + byte_column(rest, column);
}

std::filesystem::path path_of_uri(std::string_view uri) {
  constexpr std::string_view scheme = "file://";
  if (!uri.starts_with(scheme)) {
    return {};
  }
  return percent_decoded(uri.substr(scheme.size()));
}

std::string uri_of_path(const std::filesystem::path& path) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char c : path.generic_string()) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || std::string_view("/-._~").find(c) != std::string_view::npos) {
      uri += c;
    } else {
      uri += '%';
      uri += hex[byte >> 4];
      uri += hex[byte & 15];
    }
  }
  return uri;
}
