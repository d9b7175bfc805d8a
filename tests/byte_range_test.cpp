#include "byte_range.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct asked {
  std::string header;
  bool whole;  // the whole file, no range
  std::uint64_t first;
  std::uint64_t length;
};

TEST(RequestedRange, ReadsOneRangeOfA23ByteFile) {
  const std::vector<asked> table{
      {"bytes=2-5", false, 2, 4},
      {"bytes=20-99", false, 20, 3},
      {"bytes=0-99999999999999999999", false, 0, 23},
      {"bytes=5-", false, 5, 18},
      {"bytes=-3", false, 20, 3},
      {"bytes=-99999999999999999999", false, 0, 23},
      {"bytes=23-", false, 23, 0},
      {"bytes=99999999999999999999-", false, UINT64_MAX, 0},
      {"bytes=0-1,4-5", true, 0, 0},
      {"bytes=x", true, 0, 0},
      {"bytes=5-2", true, 0, 0},
      {"bytes=-", true, 0, 0},
      {"bytes=1-2x", true, 0, 0},
      {"items=0-1", true, 0, 0},
  };
  for (const asked& row : table) {
    const std::optional<byte_range> range = requested_range(row.header, 23);
    ASSERT_EQ(row.whole, !range.has_value()) << row.header;
    if (range) {
      EXPECT_EQ(row.first, range->first) << row.header;
      EXPECT_EQ(row.length, range->length) << row.header;
    }
  }
}

}  // namespace
