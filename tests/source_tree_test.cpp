// What rebuilds trust a file's stamp to tell: a stamp taken within one step of its file system's
// clock after a change never matches, since a second save of the same size could leave it whole.
#include "source_tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t ms = 1'000'000;
constexpr std::int64_t second = 1000 * ms;
constexpr std::int64_t written = 1'796'000'000 * second;  // a whole second, as FAT or ext3 keep

struct racy_case {
  std::string name;
  std::int64_t modified;
  std::int64_t changed;
  std::int64_t now;
  bool racy;
};

}  // namespace

TEST(FileStamp, AStampTakenWithinItsFileSystemsTimeStepIsRacy) {
  const std::int64_t fine = written + 123'456'789;
  const std::vector<racy_case> table{
      {"nanosecond times, 10 ms on", fine, fine, fine + 10 * ms, true},
      {"nanosecond times, 60 ms on", fine, fine, fine + 60 * ms, false},
      {"only the change time is whole", fine, written, fine + 60 * ms, false},
      {"whole seconds, 400 ms on", written, written, written + 400 * ms, true},
      {"whole even seconds, 1.9 s on", written, written, written + 1900 * ms, true},
      {"whole seconds, 2.1 s on", written, written, written + 2100 * ms, false},
  };
  for (const racy_case& row : table) {
    file_stamp stamp;
    stamp.size = 14;
    stamp.modified = row.modified;
    stamp.changed = row.changed;
    EXPECT_EQ(racy_at(stamp, row.now), row.racy) << row.name;
    stamp.racy = racy_at(stamp, row.now);
    EXPECT_EQ(same_stamp(stamp, stamp), !row.racy) << row.name;
  }
}
