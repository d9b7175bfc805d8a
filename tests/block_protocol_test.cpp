// What all block kinds share: routing, and settings that live for the whole run.
#include <gtest/gtest.h>

#include "scratch_run.h"

namespace {

std::string heading(std::string_view text) {
  return "  <h1 class=\"title\" style=\"font-size: 2.00rem; color: gray;\">" + std::string(text) +
         "  </h1>\n";
}

std::string image(std::string_view src) {
  return "  <img src=\"" + std::string(src) +
         "\" alt=\"Image\" class=\"image\" style=\"width: auto; height: auto;\">\n";
}

}  // namespace

using BlockProtocol = ScratchRun;

TEST_F(BlockProtocol, ClosingLineAloneRepeatsTheLastSettingsAcrossPages) {
  write_project({
      {"a.orv", "@end_image\n@image\n@@src a.png\n@end_image\n"},
      {"b.orv", "@end_image\n@image\n@@src b.png\n@end_image\n"},
      {"c.orv", "@image\n@@src c.png\n"},  // left open: its flag must not leak into the next page
  });
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status);
  std::string last = "";  // the defaults hold an empty source
  for (const std::string& page : compiled_order(result.out)) {
    const std::string body = page_body(read("site/" + page.substr(0, 1) + ".htm"));
    if (page == "c.orv") {
      EXPECT_EQ("", body);
      last = "c.png";
    } else {
      const std::string own = page == "a.orv" ? "a.png" : "b.png";
      EXPECT_EQ(image(last) + image(own), body) << page;
      last = own;
    }
  }
}

TEST_F(BlockProtocol, EarlierKindsOpenInsideLaterOnesNeverTheReverse) {
  expect_pages({
      {"title_inside_text", "@text\none\n@title\n@@text Head\n@end_title\ntwo\n@end_text\n",
       heading("Head") +
           "  <div class=\"text\" style=\"width: auto; height: auto; font-size: 16px; color: "
           "#d4d4d4;\">\n    <table>\n      <tr>\n        <td class=\"text-line-content\" "
           "style=\"white-space: pre;\">one</td>\n      </tr>\n      <tr>\n        <td "
           "class=\"text-line-content\" style=\"white-space: pre;\">two</td>\n      </tr>\n"
           "    </table>\n  </div>\n"},
      {"image_inside_link", "@link\n@image\n@end_image\n@end_link\n",
       "  <a href=\"#\" target=\"_self\" class=\"link\" style=\"font-size: 16px;\">Link</a>\n"},
      {"link_inside_image", "@image\n@@src x.png\n@link\n@@text L\n@end_link\n@end_image\n",
       "  <a href=\"#\" target=\"_self\" class=\"link\" style=\"font-size: 16px;\">L</a>\n" +
           image("x.png")},
  });
}

TEST_F(BlockProtocol, SecondCarriageReturnEndsBlocksOnlyForTitleTextAndCode) {
  expect_pages({
      {"title", "@title\n@@text T\r\r\n@end_title\r\r\n", heading("T")},
      {"image", "@image\n@@src x.png\r\r\n@end_image\r\r\n@end_image\n", image("x.png\r")},
      {"unopened", "@title\r\r\n@@text X\r\n@end_title\r\r\n", ""},
  });
}
