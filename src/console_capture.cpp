#include "console_capture.h"

text_sink::int_type text_sink::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  const char byte = traits_type::to_char_type(c);
  if (keep) {
    text += byte;
  }
  if (forward != nullptr) {
    forward->sputc(byte);
  }
  return c;
}

std::streamsize text_sink::xsputn(const char* s, std::streamsize n) {
  if (keep) {
    text.append(s, static_cast<std::size_t>(n));
  }
  if (forward != nullptr) {
    forward->sputn(s, n);
  }
  return n;
}

int text_sink::sync() {
  return forward != nullptr ? forward->pubsync() : 0;
}

std::vector<std::string> lines_from(const std::string& text, std::size_t from) {
  std::vector<std::string> lines;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) {
      end = text.size();
    }
    lines.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  return lines;
}
