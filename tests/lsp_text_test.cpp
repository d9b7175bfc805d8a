// Positions of the language server protocol (UTF-16 code units) against bytes, and file addresses.
#include "lsp_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

TEST(LspText, CountsColumnsInUtf16CodeUnits) {
  // "é" is two bytes and one unit; "😀" four bytes and two units (a surrogate pair).
  const std::string line = "a\xC3\xA9z\xF0\x9F\x98\x80!";
  struct position {
    std::size_t bytes;
    std::size_t units;
  };
  for (const position p : {position{0, 0}, {1, 1}, {3, 2}, {4, 3}, {8, 5}, {9, 6}}) {
    EXPECT_EQ(p.units, utf16_column(line, p.bytes)) << p.bytes;
    EXPECT_EQ(p.bytes, byte_column(line, p.units)) << p.units;
  }
  EXPECT_EQ(line.size(), byte_column(line, 99)) << "a column past the end is the end";
}

TEST(LspText, FindsOffsetsAcrossLines) {
  const std::string text = "@title\r\n\xC3\xA9x\nlast";
  EXPECT_EQ(3u, text_offset(text, 0, 3));
  EXPECT_EQ(10u, text_offset(text, 1, 1));
  EXPECT_EQ(text.size(), text_offset(text, 2, 9));
  EXPECT_EQ(text.size(), text_offset(text, 7, 0)) << "a line past the end is the end";
  EXPECT_EQ((std::vector<std::string_view>{"@title", "\xC3\xA9x", "last"}), buffer_lines(text));
}

TEST(LspText, TurnsFileAddressesIntoPathsAndBack) {
  EXPECT_EQ("/tmp/my site/proj/a.orv", path_of_uri("file:///tmp/my%20site/proj/a.orv").string());
  EXPECT_EQ("", path_of_uri("untitled:1").string());
  EXPECT_EQ("file:///tmp/my%20site/%C3%A9.orv", uri_of_path("/tmp/my site/\xC3\xA9.orv"));
}

}  // namespace
