#include "byte_range.h"

#include <algorithm>

namespace {

// The decimal number `text`, as large as it is up to UINT64_MAX; nothing unless all digits.
std::optional<std::uint64_t> saturated_number(std::string_view text) {
  if (text.empty()) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    const auto digit = static_cast<std::uint64_t>(c - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  return value;
}

}  // namespace

std::optional<byte_range> requested_range(std::string_view header, std::uint64_t size) {
  if (!header.starts_with("bytes=") || header.find(',') != std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view range = header.substr(6);
  const std::size_t dash = range.find('-');
  if (dash == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view from = range.substr(0, dash);
  const std::string_view to = range.substr(dash + 1);
  if (from.empty()) {  // the last `to` bytes
    const std::optional<std::uint64_t> tail = saturated_number(to);
    if (!tail) {
      return std::nullopt;
    }
    const std::uint64_t length = std::min(*tail, size);
    return byte_range{size - length, length};
  }
  const std::optional<std::uint64_t> first = saturated_number(from);
  const std::optional<std::uint64_t> last = to.empty() ? UINT64_MAX : saturated_number(to);
  if (!first || !last || *last < *first) {
    return std::nullopt;
  }
  if (*first >= size) {
    return byte_range{*first, 0};
  }
  return byte_range{*first, std::min(*last, size - 1) - *first + 1};
}
