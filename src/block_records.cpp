#include "block_records.h"

#include <bit>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

// A hash of the fields, eight bytes at a time (the step with which xxHash64 takes in its last
// eight-byte lanes), each string preceded by its length so that no two different records feed
// the same words. A page's start and end are digested, so the lines of every panel and listing
// pass through here twice a page.
struct digest_builder {
  std::uint64_t value = 14695981039346656037ULL;

  void add_word(std::uint64_t word) {
    constexpr std::uint64_t prime1 = 0x9E3779B185EBCA87ULL;
    constexpr std::uint64_t prime2 = 0xC2B2AE3D27D4EB4FULL;
    value ^= std::rotl(word * prime2, 31) * prime1;
    value = std::rotl(value, 27) * prime1 + 0x85EBCA77C2B2AE63ULL;
  }
  void add(std::uint64_t number) { add_word(number); }
  void add(std::int64_t number) { add_word(static_cast<std::uint64_t>(number)); }
  void add(bool flag) { add_word(flag ? 1 : 0); }
  void add(std::string_view text) {
    add(static_cast<std::uint64_t>(text.size()));
    std::size_t at = 0;
    for (; text.size() - at >= sizeof(std::uint64_t); at += sizeof(std::uint64_t)) {
      std::uint64_t word = 0;
      std::memcpy(&word, text.data() + at, sizeof word);
      add_word(word);
    }
    if (at == text.size()) {
      return;
    }
    // The last eight bytes again, overlapping, or the few there are: the length tells them apart.
    std::uint64_t word = 0;
    if (text.size() >= sizeof word) {
      std::memcpy(&word, text.data() + text.size() - sizeof word, sizeof word);
    } else {
      for (; at < text.size(); ++at) {
        word = word << 8 | static_cast<unsigned char>(text[at]);
      }
    }
    add_word(word);
  }
  void add(const block_lines& lines) {
    add(static_cast<std::uint64_t>(lines.size()));
    for (const std::string_view line : lines) {
      add(line);
    }
  }
  template <typename... Fields>
  void add_all(const Fields&... fields) {
    (add(fields), ...);
  }
};

// Each record is taken apart by a structured binding, which stops compiling when a field is added
// without being digested here.
void add_record(digest_builder& d, const title_template_config& r) {
  const auto& [size, color, text] = r;
  d.add_all(size, color, text);
}
void add_record(digest_builder& d, const text_template_config& r) {
  const auto& [width, height, size, color, src, whitespace, lines] = r;
  d.add_all(width, height, size, color, src, whitespace, lines);
}
void add_record(digest_builder& d, const link_template_config& r) {
  const auto& [url, text, target, size] = r;
  d.add_all(url, text, target, size);
}
void add_record(digest_builder& d, const image_template_config& r) {
  const auto& [src, alt, width, height] = r;
  d.add_all(src, alt, width, height);
}
void add_record(digest_builder& d, const video_template_config& r) {
  const auto& [src, width, height, autoplay, loop] = r;
  d.add_all(src, width, height, autoplay, loop);
}
void add_record(digest_builder& d, const audio_template_config& r) {
  const auto& [src, autoplay, loop] = r;
  d.add_all(src, autoplay, loop);
}
void add_record(digest_builder& d, const pdf_template_config& r) {
  const auto& [src, width, height, buttontext] = r;
  d.add_all(src, width, height, buttontext);
}
void add_record(digest_builder& d, const download_template_config& r) {
  const auto& [url, text] = r;
  d.add_all(url, text);
}
void add_record(digest_builder& d, const code_template_config& r) {
  const auto& [width, height, src, language, lines] = r;
  d.add_all(width, height, src, language, lines);
}

void add_record(digest_builder& d, const markdown_template_config& r) {
  const auto& [src, language, lines] = r;
  d.add_all(src, language, lines);
}

}  // namespace

void swap_kinds(block_records& a, block_records& b, std::uint32_t kinds) {
  std::size_t kind = 0;
  const auto swap_kind = [&](auto field) {
    if ((kinds >> kind++ & 1U) != 0) {
      std::swap(a.*field, b.*field);
    }
  };
  swap_kind(&block_records::title);
  swap_kind(&block_records::text);
  swap_kind(&block_records::link);
  swap_kind(&block_records::image);
  swap_kind(&block_records::video);
  swap_kind(&block_records::audio);
  swap_kind(&block_records::pdf);
  swap_kind(&block_records::download);
  swap_kind(&block_records::code);
  swap_kind(&block_records::markdown);
}

void keep_lines(block_records& records) {
  keep_lines(records.text.lines);
  keep_lines(records.code.lines);
  keep_lines(records.markdown.lines);
}

std::uint64_t records_digest(const block_records& records) {
  const auto& [title, text, link, image, video, audio, pdf, download, code, markdown, pdf_counter] =
      records;
  digest_builder d;
  add_record(d, title);
  add_record(d, text);
  add_record(d, link);
  add_record(d, image);
  add_record(d, video);
  add_record(d, audio);
  add_record(d, pdf);
  add_record(d, download);
  add_record(d, code);
  add_record(d, markdown);
  d.add(pdf_counter);
  return d.value;
}
