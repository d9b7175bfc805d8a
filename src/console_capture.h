// Catching what the run writes to a console stream: kept, passed on, or both.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

// A stream buffer that keeps what is written in `text` (when `keep`) and passes it on to
// `forward` (when not null).
struct text_sink : std::streambuf {
  std::streambuf* forward = nullptr;
  bool keep = true;
  std::string text;

  text_sink(std::streambuf* forward_to, bool keep_text) : forward(forward_to), keep(keep_text) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;
};

// Points `stream` at `sink` until it goes out of scope.
struct stream_redirect {
  std::ostream& stream;
  std::streambuf* saved;

  stream_redirect(std::ostream& redirected, std::streambuf* sink)
      : stream(redirected), saved(redirected.rdbuf(sink)) {}
  ~stream_redirect() { stream.rdbuf(saved); }
  stream_redirect(const stream_redirect&) = delete;
  stream_redirect& operator=(const stream_redirect&) = delete;
};

// The lines of `text` from `from` on, each without its line feed.
std::vector<std::string> lines_from(const std::string& text, std::size_t from);
