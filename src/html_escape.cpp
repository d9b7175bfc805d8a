#include "html_escape.h"

#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// An entity padded to eight bytes, so that it is stored in one move, and its length.
struct entity {
  char text[8];
  std::size_t size;
};

constexpr entity ampersand{"&amp;", 5};
constexpr entity less_than{"&lt;", 4};
constexpr entity greater_than{"&gt;", 4};
constexpr entity quote{"&quot;", 6};

// Stores the entity of `c`, a byte that needs one, at `out`; returns the end of the entity.
char* put_entity(char* out, char c) {
  const entity& written = c == '&'   ? ampersand
                          : c == '<' ? less_than
                          : c == '>' ? greater_than
                                     : quote;
  std::memcpy(out, written.text, sizeof written.text);
  return out + written.size;
}

#ifdef __SSE2__
// Bytes looked at and stored at once: sixteen where the processor compares them in one step.
constexpr std::ptrdiff_t block = 16;
constexpr int bits_per_byte = 1;

// Stores the sixteen bytes at `from` at `out`; returns those that need an entity, each as a bit.
template <html_use use>
std::uint64_t store_block(const char* from, char* out) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  __m128i found = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')),
                               _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')),
                                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>'))));
  if constexpr (use == html_use::attribute) {
    found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(found));
}
#else
// Bytes looked at and stored at once: eight in a word elsewhere.
constexpr std::ptrdiff_t block = 8;
constexpr int bits_per_byte = 8;

constexpr std::uint64_t ones = 0x0101010101010101;
constexpr std::uint64_t high_bits = 0x8080808080808080;

// Non-zero when some byte of `word` is zero.
constexpr std::uint64_t zero_byte_in(std::uint64_t word) {
  return (word - ones) & ~word & high_bits;
}

// Stores the eight bytes at `from` at `out`; returns those that need an entity, each as the high
// bit of its byte in the order of memory. Exact up to the first (a byte after it may show up
// wrongly), which is all that is needed.
template <html_use use>
std::uint64_t store_block(const char* from, char* out) {
  std::uint64_t word = 0;
  std::memcpy(&word, from, sizeof word);
  std::memcpy(out, &word, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  std::uint64_t found = zero_byte_in(word ^ (ones * '&')) | zero_byte_in(word ^ (ones * '<')) |
                        zero_byte_in(word ^ (ones * '>'));
  if constexpr (use == html_use::attribute) {
    found |= zero_byte_in(word ^ (ones * '"'));
  }
  return found;
}
#endif

// Escapes from `from` on, a block at a time, while `from` is before `stop`, the text ending at
// `end`: reads and stores a whole block at every step, so that a block must be readable there and
// `out` must have a block's room to spare. In the `tail`, fewer than a block before `end`, the
// bytes read after `end` are ignored.
template <html_use use, bool tail>
[[gnu::always_inline]] inline char* escape_blocks(char* out, const char*& from, const char* end,
                                                  const char* stop) {
  while (from < stop) {
    std::uint64_t found = store_block<use>(from, out);
    const std::ptrdiff_t left = end - from;
    if constexpr (tail) {
      found |= std::uint64_t{1} << (left * bits_per_byte);  // the end, as if it needed an entity
    } else if (found == 0) {
      from += block;
      out += block;
      continue;
    }
    const std::ptrdiff_t clean = std::countr_zero(found) / bits_per_byte;
    if (tail && clean == left) {
      from = end;
      return out + left;
    }
    out = put_entity(out + clean, from[clean]);
    from += clean + 1;
  }
  return out;
}

// Copies the `size` bytes at `from` (fewer than sixteen) to `to` in a few moves of fixed size,
// which overlap where `size` is not a power of two: cheaper than a call for so few bytes.
void copy_short(char* to, const char* from, std::size_t size) {
  const auto copy_both_ends = [&](auto word) {
    std::memcpy(&word, from, sizeof word);
    std::memcpy(to, &word, sizeof word);
    std::memcpy(&word, from + size - sizeof word, sizeof word);
    std::memcpy(to + size - sizeof word, &word, sizeof word);
  };
  if (size >= 8) {
    copy_both_ends(std::uint64_t{});
  } else if (size >= 4) {
    copy_both_ends(std::uint32_t{});
  } else if (size > 0) {
    to[0] = from[0];
    to[size / 2] = from[size / 2];
    to[size - 1] = from[size - 1];
  }
}

// Escapes the text from `from` to `end` into `out`, which has html_escaped_room() of its size;
// returns the end of what it wrote. Lines of text rarely need an entity, so many bytes are looked
// at and stored at once, and the bytes after the first that needs one are simply stored again
// from there. The last bytes, fewer than a block, are read from a copy with room after them.
template <html_use use>
char* escape_into(char* out, const char* from, const char* const end) {
  if (end - from >= block) {
    out = escape_blocks<use, false>(out, from, end, end - block + 1);
  }
  const std::ptrdiff_t left = end - from;
  if (left == 0) {
    return out;
  }
  char tail[2 * block] = {};
  copy_short(tail, from, static_cast<std::size_t>(left));
  const char* read = tail;
  return escape_blocks<use, true>(out, read, tail + left, tail + left);
}

}  // namespace

char* write_html_escaped(char* out, std::string_view text, html_use use) {
  const char* const end = text.data() + text.size();
  return use == html_use::attribute ? escape_into<html_use::attribute>(out, text.data(), end)
                                    : escape_into<html_use::text>(out, text.data(), end);
}

void append_html_escaped(std::string& out, std::string_view text, html_use use) {
  constexpr std::size_t slice = 512;  // escaped a slice at a time on the stack, then appended
  char escaped[html_escaped_room(slice)];
  while (!text.empty()) {
    const std::string_view part = text.substr(0, slice);
    out.append(escaped, static_cast<std::size_t>(write_html_escaped(escaped, part, use) - escaped));
    text.remove_prefix(part.size());
  }
}

std::string html_escape(std::string_view text, html_use use) {
  std::string escaped;
  escaped.reserve(text.size() + text.size() / 10);
  append_html_escaped(escaped, text, use);
  return escaped;
}
