// The byte ranges of a file that a Range header asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// One range of a file: its first byte and how many bytes it holds.
struct byte_range {
  std::uint64_t first = 0;
  std::uint64_t length = 0;
};

// The single range that `header` (a Range header's value) asks for in a file of `size` bytes:
// nothing for the whole file (several ranges, or a header that cannot be read), a length of 0
// when the range lies beyond the end. An end past the file, however large, stops at its last byte.
std::optional<byte_range> requested_range(std::string_view header, std::uint64_t size);
