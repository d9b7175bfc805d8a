#include "html_escape.h"

#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr std::uint64_t ones = 0x0101010101010101;
constexpr std::uint64_t high_bits = 0x8080808080808080;

// Non-zero when some byte of `word` is zero.
constexpr std::uint64_t zero_byte_in(std::uint64_t word) {
  return (word - ones) & ~word & high_bits;
}

// The bytes of `word` that need an entity, each as its high bit; exact up to the first one (a
// byte after it may show up wrongly), which is all that is needed.
template <html_use use>
std::uint64_t bytes_to_escape(std::uint64_t word) {
  std::uint64_t found = zero_byte_in(word ^ (ones * '&')) | zero_byte_in(word ^ (ones * '<')) |
                        zero_byte_in(word ^ (ones * '>'));
  if constexpr (use == html_use::attribute) {
    found |= zero_byte_in(word ^ (ones * '"'));
  }
  return found;
}

std::string_view entity_of(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return "&quot;";
  }
}

// The first of the `size` (at most eight) bytes at `from` that needs an entity; `size` when none.
template <html_use use>
std::size_t first_to_escape(const char* from, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  std::uint64_t word = 0;  // the zero bytes after a short tail need no entity
  std::memcpy(&word, from, size);
  const std::uint64_t found = bytes_to_escape<use>(word);
  if (found == 0) {
    return size;
  }
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::size_t>(std::countr_zero(found)) / 8;
  }
  std::size_t at = 0;
  while (bytes_to_escape<use>(ones * static_cast<unsigned char>(from[at])) == 0) {
    ++at;
  }
  return at;
}

template <html_use use>
bool needs_entity(char c) {
  return c == '&' || c == '<' || c == '>' || (c == '"' && use == html_use::attribute);
}

#ifdef __SSE2__
// The bytes of the sixteen at `from` that need an entity, each as one bit.
template <html_use use>
unsigned sixteen_to_escape(const char* from) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  __m128i found = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')),
                               _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')),
                                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>'))));
  if constexpr (use == html_use::attribute) {
    found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(found));
}
#endif

// The first byte from `from` on that needs an entity, or `end`, in the text that starts at
// `begin`. Lines of text rarely hold one, so many bytes are looked at at once: sixteen where the
// processor compares them in one step (the last sixteen of the text again for its tail), else
// eight in a word.
template <html_use use>
const char* next_to_escape(const char* begin, const char* from, const char* end) {
#ifdef __SSE2__
  for (; end - from >= 16; from += 16) {
    if (const unsigned found = sixteen_to_escape<use>(from); found != 0) {
      return from + std::countr_zero(found);
    }
  }
  if (from == end || end - begin >= 16) {
    const unsigned found =
        from == end ? 0 : sixteen_to_escape<use>(end - 16) >> (16 - (end - from));
    return found == 0 ? end : from + std::countr_zero(found);
  }
  while (from != end && !needs_entity<use>(*from)) {  // a short text: byte by byte
    ++from;
  }
  return from;
#endif
  for (; end - from >= 8; from += 8) {
    const std::size_t at = first_to_escape<use>(from, 8);
    if (at < 8) {
      return from + at;
    }
  }
  return from + first_to_escape<use>(from, static_cast<std::size_t>(end - from));
}

}  // namespace

namespace {

template <html_use use>
void append_escaped_for(std::string& out, std::string_view text) {
  const char* run = text.data();
  const char* const end = run + text.size();
  while (true) {
    const char* const stop = next_to_escape<use>(text.data(), run, end);
    out.append(run, stop);
    if (stop == end) {
      return;
    }
    out += entity_of(*stop);
    run = stop + 1;
  }
}

}  // namespace

void append_html_escaped(std::string& out, std::string_view text, html_use use) {
  if (use == html_use::attribute) {
    append_escaped_for<html_use::attribute>(out, text);
  } else {
    append_escaped_for<html_use::text>(out, text);
  }
}

std::string html_escape(std::string_view text, html_use use) {
  std::string escaped;
  escaped.reserve(text.size() + text.size() / 10);
  append_html_escaped(escaped, text, use);
  return escaped;
}
