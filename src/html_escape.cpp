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

template <html_use use>
bool needs_entity(char c) {
  return c == '&' || c == '<' || c == '>' || (c == '"' && use == html_use::attribute);
}

// Stores the entity of `c`, a byte that needs one, at `out`; returns the end of the entity.
char* put_entity(char* out, char c) {
  const entity& written = c == '&'   ? ampersand
                          : c == '<' ? less_than
                          : c == '>' ? greater_than
                                     : quote;
  std::memcpy(out, written.text, sizeof written.text);
  return out + written.size;
}

constexpr std::uint64_t ones = 0x0101010101010101;
constexpr std::uint64_t high_bits = 0x8080808080808080;

// Non-zero when some byte of `word` is zero.
constexpr std::uint64_t zero_byte_in(std::uint64_t word) {
  return (word - ones) & ~word & high_bits;
}

// The bytes of `word` that need an entity, each as its high bit; exact up to the first one (a
// byte after it may show up wrongly), which is all that is needed.
template <html_use use>
std::uint64_t eight_to_escape(std::uint64_t word) {
  std::uint64_t found = zero_byte_in(word ^ (ones * '&')) | zero_byte_in(word ^ (ones * '<')) |
                        zero_byte_in(word ^ (ones * '>'));
  if constexpr (use == html_use::attribute) {
    found |= zero_byte_in(word ^ (ones * '"'));
  }
  return found;
}

#ifdef __SSE2__
// The bytes of `bytes` that need an entity, each as one bit.
template <html_use use>
unsigned sixteen_to_escape(__m128i bytes) {
  __m128i found = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')),
                               _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')),
                                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>'))));
  if constexpr (use == html_use::attribute) {
    found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(found));
}
#endif

// Escapes the text from `from` to `end` into `out`, which has html_escaped_room() of its size;
// returns the end of what it wrote. Lines of text rarely need an
// entity, so many bytes are looked at and stored at once (sixteen where the processor compares
// them in one step, else eight in a word), and the bytes after the first that needs an entity are
// simply stored again from there.
template <html_use use>
char* escape_into(char* out, const char* from, const char* const end) {
#ifdef __SSE2__
  while (end - from >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    const unsigned found = sixteen_to_escape<use>(bytes);
    if (found == 0) {
      from += 16;
      out += 16;
      continue;
    }
    const int clean = std::countr_zero(found);
    out = put_entity(out + clean, from[clean]);
    from += clean + 1;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    while (end - from >= 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, from, 8);
      std::memcpy(out, &word, 8);
      const std::uint64_t found = eight_to_escape<use>(word);
      if (found == 0) {
        from += 8;
        out += 8;
        continue;
      }
      const int clean = std::countr_zero(found) / 8;
      out = put_entity(out + clean, from[clean]);
      from += clean + 1;
    }
  }
  for (; from != end; ++from) {
    if (needs_entity<use>(*from)) {
      out = put_entity(out, *from);
    } else {
      *out++ = *from;
    }
  }
  return out;
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
