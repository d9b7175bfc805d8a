#include "page_injection.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The page as it goes out, read in pieces of `step` bytes.
std::string sent(const injected_page& page, std::size_t step) {
  std::string out;
  std::vector<char> buffer(step);
  for (std::int64_t got; (got = read_injected(page, out.size(), buffer.data(), step)) > 0;) {
    out.append(buffer.data(), static_cast<std::size_t>(got));
  }
  return out;
}

TEST(InjectedPage, CarriesTheScriptBeforeTheLastBodyEnd) {
  const std::string filler(64 * 1024 - 3, 'x');  // puts a tag across two pieces read from the end
  const std::vector<std::string> pages{"<body>a</body>b</body>\n", "no tag at all", "",
                                       filler + "</body>" + filler, "</body>" + filler + filler};
  for (const std::string& text : pages) {
    char name[] = "/tmp/orvello-page-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_EQ(static_cast<ssize_t>(text.size()), write(fd, text.data(), text.size()));
    unlink(name);
    const std::size_t tag = text.rfind("</body>");
    std::string expected = text;
    expected.insert(tag == std::string::npos ? text.size() : tag, "<script>");
    const injected_page page{fd, text.size(), script_offset(fd, text.size()), "<script>"};
    EXPECT_EQ(expected, sent(page, 5)) << text.size();
    EXPECT_EQ(expected, sent(page, 1 << 16)) << text.size();
    close(fd);
  }
}

}  // namespace
