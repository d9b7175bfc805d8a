#include "block_lines.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "utils.h"

namespace {

std::vector<std::string> texts(const block_lines& lines) {
  return {lines.begin(), lines.end()};
}

}  // namespace

// Lines seen in a page's text and kept when it ends read the same once the text is gone, and so
// do the copies of their record, each of which outlives the one it was copied from.
TEST(BlockLines, KeptLinesOutliveTheirTextAndTheirOriginal) {
  const std::vector<std::string> expected = {"one", "two", "", "three", "four", "copied", "five"};
  auto original = std::make_unique<block_lines>();
  {
    std::string page = "one\ntwo\r\n\nthree\n@@x 1\nfour\n";
    text_lines split{page};
    std::string_view line;
    while (split.next(line)) {
      line = without_carriage_return(line);
      if (!line.starts_with("@@")) {
        add_view(*original, line);
      }
    }
    add_copy(*original, "copied");
    std::string five = "five";
    add_view(*original, five);
    keep_lines(*original);
    page.assign(page.size(), 'x');
    five.assign(five.size(), 'x');
  }
  EXPECT_EQ(expected, texts(*original));
  block_lines copy = *original;
  block_lines assigned;
  add_copy(assigned, "replaced");
  assigned = *original;
  original.reset();
  EXPECT_EQ(expected, texts(copy));
  const block_lines moved = std::move(copy);
  EXPECT_EQ(expected, texts(moved));
  EXPECT_EQ(expected, texts(assigned));
  add_copy(copy, "again");  // what was moved away is no longer seen
  EXPECT_EQ(std::vector<std::string>{"again"}, texts(copy));
}
