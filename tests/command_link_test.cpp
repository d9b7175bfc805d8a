// Link blocks as pages show them.
#include <gtest/gtest.h>

#include "scratch_run.h"

namespace {

std::string link(std::string_view url, std::string_view target, std::string_view style,
                 std::string_view text) {
  return "  <a href=\"" + std::string(url) + "\" target=\"" + std::string(target) +
         "\" class=\"link\"" + std::string(style) + ">" + std::string(text) + "</a>\n";
}

std::string sized(std::string_view size) {
  return " style=\"font-size: " + std::string(size) + ";\"";
}

}  // namespace

using LinkBlock = ScratchRun;

TEST_F(LinkBlock, WritesOneAnchorFromItsSettings) {
  expect_pages({
      {"defaults", "@link\n@end_link\n", link("#", "_self", sized("16px"), "Link")},
      {"all_keys",
       "@link\n@@url https://example.org/\n@@text Example\n@@target _blank\n@@size 20\n"
       "@end_link\n",
       link("https://example.org/", "_blank", sized("20px"), "Example")},
      {"font_size_rule",
       "@link\n@@size 1.5rem\n@end_link\n@link\n@@size 2em\n@end_link\n@link\n@@size "
       "120%\n@end_link\n"
       "@link\n@@size auto\n@end_link\n@link\n@@size 12PX\n@end_link\n@link\n@@size system\n"
       "@end_link\n@link\n@@size  9\n@end_link\n",
       link("#", "_self", sized("1.5rem"), "Link") + link("#", "_self", sized("2em"), "Link") +
           link("#", "_self", sized("120%"), "Link") + link("#", "_self", sized("autopx"), "Link") +
           link("#", "_self", sized("12PXpx"), "Link") +
           link("#", "_self", sized("system"), "Link") + link("#", "_self", sized(" 9px"), "Link")},
      {"empty_size_drops_style", "@link\n@@size \n@@url \n@@target \n@end_link\n",
       link("", "", "", "Link")},
      {"escaping",
       "@link\n@@url q?a=1&b=<2>\"x\n@@target a\"b\n@@text <i>&\"q\"\n@@size 1\"2\n@end_link\n",
       link("q?a=1&b=<2>&quot;x", "a&quot;b", sized("1&quot;2px"), "&lt;i&gt;&amp;\"q\"")},
      {"unknown_keys", "@link\n@@url\n@@URL x\n@@urls x\nplain text\n@end_link\n",
       link("#", "_self", sized("16px"), "Link")},
      {"reopening_resets", "@link\n@@text Gone\n@link\n@end_link\n",
       link("#", "_self", sized("16px"), "Link")},
      {"closing_twice", "@link\n@@text Twice\n@end_link\n@end_link\n",
       link("#", "_self", sized("16px"), "Twice") + link("#", "_self", sized("16px"), "Twice")},
  });
}
