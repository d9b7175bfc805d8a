// Title blocks as pages show them.
#include <gtest/gtest.h>

#include "scratch_run.h"

namespace {

std::string heading(std::string_view size, std::string_view color, std::string_view text) {
  return "  <h1 class=\"title\" style=\"font-size: " + std::string(size) +
         "; color: " + std::string(color) + ";\">" + std::string(text) + "  </h1>\n";
}

}  // namespace

using TitleBlock = ScratchRun;

TEST_F(TitleBlock, WritesOneHeadingFromItsSettings) {
  const std::string plain = heading("2.00rem", "gray", "Title");
  expect_pages({
      {"defaults", "@title\n@end_title\n", plain},
      {"pixels", "@title\n@@size 40\n@@text Welcome\n@end_title\n",
       heading("40px", "gray", "Welcome")},
      {"own_units",
       "@title\n@@size 1.5em\n@end_title\n@title\n@@size 120%\n@end_title\n"
       "@title\n@@size 3rem\n@end_title\n@title\n@@size 18px\n@end_title\n",
       heading("1.5em", "gray", "Title") + heading("120%", "gray", "Title") +
           heading("3rem", "gray", "Title") + heading("18px", "gray", "Title")},
      {"last_colour_wins", "@title\n@@color #ff0000\n@@color teal\n@end_title\n",
       heading("2.00rem", "teal", "Title")},
      {"escaping",
       "@title\n@@text <b> & \"q\"\n@@color red\" onclick=\"x\n@@size 4\"0\n@end_title\n",
       heading("4&quot;0px", "red&quot; onclick=&quot;x", "&lt;b&gt; &amp; \"q\"")},
      {"empty_and_spaced", "@title\n@@text \n@end_title\n@title\n@@text  spaced\n@end_title\n",
       heading("2.00rem", "gray", "") + heading("2.00rem", "gray", " spaced")},
      {"unknown_keys", "@title\n@@size\n@@Size 9\n@@sizes 9\n@@text\n@end_title\n", plain},
      {"windows_lines", "@title\r\n@@text Win\r\n@end_title\r\n",
       heading("2.00rem", "gray", "Win")},
      {"two_carriage_returns_inside", "@title\n@@text Two\r\r\n@end_title\r\r\n",
       heading("2.00rem", "gray", "Two")},
      {"no_block_opens_inside",
       "@title\n@text\n@code\n@@text T\n@end_code\n@end_text\n@end_title\n",
       heading("2.00rem", "gray", "T")},
      {"not_opening_lines", " @title\n@Title\n@title \n@@text X\n", ""},
  });
}
