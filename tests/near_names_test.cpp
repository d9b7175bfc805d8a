// The distance behind every "did you mean".
#include "near_names.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

TEST(NearNames, CountsTheEditsBetweenTwoNames) {
  struct distance_case {
    std::string_view a, b;
    std::size_t distance;
  };
  for (const distance_case& row : std::vector<distance_case>{{"", "", 0},
                                                             {"", "code", 4},
                                                             {"code", "", 4},
                                                             {"code", "code", 0},
                                                             {"cdoe", "code", 1},
                                                             {"@txet", "@text", 1},
                                                             {"kitten", "sitting", 3},
                                                             {"ab", "ba", 1},
                                                             {"abc", "ca", 3}}) {
    EXPECT_EQ(edit_distance(row.a, row.b), row.distance) << row.a << " / " << row.b;
  }
}

TEST(NearNames, OffersOnlyTheNearestNameWithinTheSlipAllowed) {
  const std::vector<std::string_view> names{"@text", "@title", "@code", "@download"};
  EXPECT_EQ(nearest_name("@txet", names), "@text");
  EXPECT_EQ(nearest_name("@downlaod", names), "@download");
  EXPECT_EQ(nearest_name("@text", names), "");  // the name itself is no slip
  EXPECT_EQ(nearest_name("@textarea", names), "");
}
