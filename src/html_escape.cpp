#include "html_escape.h"

#include <array>
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

// The entities by the last five bits of the byte they stand for, which tell the four apart
// ('"' 2, '&' 6, '<' 28, '>' 30) and look them up without a comparison.
constexpr auto entities = [] {
  std::array<entity, 32> table{};
  table['"' % 32] = {"&quot;", 6};
  table['&' % 32] = {"&amp;", 5};
  table['<' % 32] = {"&lt;", 4};
  table['>' % 32] = {"&gt;", 4};
  return table;
}();

// Stores the entity of `c`, a byte that needs one, at `out`; returns the end of the entity.
char* put_entity(char* out, char c) {
  const entity& written = entities[static_cast<unsigned char>(c) % 32];
  std::memcpy(out, written.text, sizeof written.text);
  return out + written.size;
}

#ifdef __SSE2__
// Bytes looked at and stored at once: sixteen where the processor compares them in one step.
constexpr std::ptrdiff_t block = 16;
constexpr int bits_per_byte = 1;

// Which of the sixteen `bytes` need an entity, each as a bit, in the order of memory.
template <html_use use>
std::uint64_t needing(__m128i bytes) {
  __m128i found = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')),
                               _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')),
                                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>'))));
  if constexpr (use == html_use::attribute) {
    found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(found));
}

// Which of the sixteen bytes at `from` need an entity, as needing() above gives them.
template <html_use use>
std::uint64_t needing_at(const char* from) {
  return needing<use>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
}

// Stores the sixteen bytes at `from` at `out`; returns those that need an entity, as needing().
template <html_use use>
std::uint64_t store_block(const char* from, char* out) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  return needing<use>(bytes);
}
#else
// Bytes looked at and stored at once: eight in a word elsewhere.
constexpr std::ptrdiff_t block = 8;
constexpr int bits_per_byte = 8;

constexpr std::uint64_t ones = 0x0101010101010101;
constexpr std::uint64_t low_bits = 0x7F7F7F7F7F7F7F7F;

// The high bit of each byte of `word` that is zero (and of no other byte: no carry crosses bytes).
constexpr std::uint64_t zero_bytes_in(std::uint64_t word) {
  return ~(((word & low_bits) + low_bits) | word | low_bits);
}

// The bytes of the eight at `from` that need an entity, each as the high bit of its byte in the
// order of memory.
template <html_use use>
std::uint64_t needing_at(const char* from) {
  std::uint64_t word = 0;
  std::memcpy(&word, from, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  std::uint64_t found = zero_bytes_in(word ^ (ones * '&')) | zero_bytes_in(word ^ (ones * '<')) |
                        zero_bytes_in(word ^ (ones * '>'));
  if constexpr (use == html_use::attribute) {
    found |= zero_bytes_in(word ^ (ones * '"'));
  }
  return found;
}

// Stores the eight bytes at `from` at `out`; returns those that need an entity, as needing_at().
template <html_use use>
std::uint64_t store_block(const char* from, char* out) {
  std::memcpy(out, from, block);
  return needing_at<use>(from);
}
#endif

// Escapes from `from` on, a block at a time, while a whole block is left before `end`: reads and
// stores a whole block at every step, so that `out` must have a block's room to spare.
template <html_use use>
char* escape_blocks(char* out, const char*& from, const char* end) {
  while (end - from >= block) {
    const std::uint64_t found = store_block<use>(from, out);
    if (found == 0) {
      from += block;
      out += block;
      continue;
    }
    const std::ptrdiff_t clean = std::countr_zero(found) / bits_per_byte;
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

// Escapes the last bytes of a text, from `from` to `end`, fewer than a block: `window` is a block
// whose last bytes are the same, so that all are looked at in one step; the bytes between the
// entities are copied from the text.
template <html_use use>
[[gnu::always_inline]] inline char* escape_tail(char* out, const char* from, const char* end,
                                                const char* window) {
  const char* const first = from;  // the byte of the lowest bit of `found`
  std::uint64_t found = needing_at<use>(window) >> ((block - (end - first)) * bits_per_byte);
  for (; found != 0; found &= found - 1) {
    const char* const marked = first + std::countr_zero(found) / bits_per_byte;
    const auto clean = static_cast<std::size_t>(marked - from);
    copy_short(out, from, clean);
    out = put_entity(out + clean, *marked);
    from = marked + 1;
  }
  copy_short(out, from, static_cast<std::size_t>(end - from));
  return out + (end - from);
}

// Escapes the text from `from` to `end` into `out`, which has html_escaped_room() of its size;
// returns the end of what it wrote. Lines of text rarely need an entity, so many bytes are looked
// at and stored at once, and the bytes after the first that needs one are simply stored again
// from there. The last bytes, fewer than a block, are looked at in the block that ends the text,
// or in a copy for a text shorter than a block.
template <html_use use>
char* escape_into(char* out, const char* from, const char* const end) {
  if (end - from >= block) {
    out = escape_blocks<use>(out, from, end);
    return from == end ? out : escape_tail<use>(out, from, end, end - block);
  }
  const auto size = static_cast<std::size_t>(end - from);
  if (size == 0) {
    return out;
  }
  char window[block] = {};
  copy_short(window + block - size, from, size);
  return escape_tail<use>(out, from, end, window);
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
