#include "block_records.h"

#include <string>
#include <vector>

namespace {

// FNV-1a over the fields, each string preceded by its length so that no two different records
// feed the same bytes.
struct digest_builder {
  std::uint64_t value = 14695981039346656037ULL;

  void add_byte(unsigned char byte) { value = (value ^ byte) * 1099511628211ULL; }
  void add(std::uint64_t number) {
    for (int shift = 0; shift < 64; shift += 8) {
      add_byte(static_cast<unsigned char>(number >> shift));
    }
  }
  void add(std::int64_t number) { add(static_cast<std::uint64_t>(number)); }
  void add(bool flag) { add_byte(flag ? 1 : 0); }
  void add(const std::string& text) {
    add(static_cast<std::uint64_t>(text.size()));
    for (const char c : text) {
      add_byte(static_cast<unsigned char>(c));
    }
  }
  void add(const std::vector<std::string>& lines) {
    add(static_cast<std::uint64_t>(lines.size()));
    for (const std::string& line : lines) {
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
