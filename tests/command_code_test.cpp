// Code blocks as pages show them: numbered listings from inline lines or source files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "scratch_run.h"

namespace fs = std::filesystem;

namespace {

std::string listing(const std::vector<std::string>& lines, std::string_view width = "auto",
                    std::string_view height = "auto") {
  std::string html = "  <pre class=\"code\" style=\"width: " + std::string(width) +
                     "; height: " + std::string(height) + ";\"><table>\n";
  int number = 0;
  for (const std::string& line : lines) {
    html += "    <tr>\n      <td class=\"code-line-number\">" + std::to_string(++number) +
            "</td>\n      <td class=\"code-line-content\"><code>" + line +
            "</code></td>\n    </tr>\n";
  }
  return html + "  </table></pre>\n";
}

}  // namespace

using CodeBlock = ScratchRun;

TEST_F(CodeBlock, NumbersInlineLinesFromOneInEveryListing) {
  expect_pages({
      {"numbering", "@code\na\n\nc\n@end_code\n@code\nd\n@end_code\n",
       listing({"a", "", "c"}) + listing({"d"})},
      {"nothing_to_show", "@code\n@@width 10\n@end_code\n", ""},
      {"escaping_and_indentation",
       "@code\nif (a && b < c) {\n    s = \"x\";\n\treturn;\n@end_code\n",
       listing({"if (a &amp;&amp; b &lt; c) {", "    s = \"x\";", "\treturn;"})},
      {"unit_rule",
       "@code\n@@width 100%\n@@height 400\nx\n@end_code\n@code\n@@width 400px\n"
       "@@height 2em\nx\n@end_code\n@code\n@@width a\"b\nx\n@end_code\n",
       listing({"x"}, "100%", "400px") + listing({"x"}, "400px", "2empx") +
           listing({"x"}, "a&quot;bpx")},
      {"unknown_settings_are_code", "@code\n@@size 12\n@@src\n@end_code\n",
       listing({"@@size 12", "@@src"})},
      {"other_kinds_are_routed_away",
       "@code\nbefore\n@title\n@@text Inside\n@end_title\n@link\n@end_link\n  @text\nafter\n"
       "@end_code\n",
       "  <h1 class=\"title\" style=\"font-size: 2.00rem; color: gray;\">Inside  </h1>\n"
       "  <a href=\"#\" target=\"_self\" class=\"link\" style=\"font-size: 16px;\">Link</a>\n" +
           listing({"before", "  @text", "after"})},
      {"reopening_discards", "@code\ngone\n@code\nkept\n@end_code\n@end_code\n",
       listing({"kept"}) + listing({"kept"})},
      {"windows_lines", "@code\r\nx = 1;\r\n@end_code\r\n", listing({"x = 1;"})},
  });
}

TEST_F(CodeBlock, ReadsSourceFilesBesideTheCommandFile) {
  write_project({
      {"docs/hello.cpp", "int main() {\r\n    return 0;\r\n}"},
      {"docs/bom.c", "\xef\xbb\xbf// c\n\xff\n"},
      {"docs/empty.c", ""},
  });
  expect_pages({
      {"docs/guide", "@code\ninline\n@@src hello.cpp\nignored\n@end_code\n",
       listing({"int main() {", "    return 0;", "}"})},
      {"docs/bytes", "@code\n@@src bom.c\n@end_code\n", listing({"\xef\xbb\xbf// c", "\xff"})},
      {"docs/empty", "@code\n@@src empty.c\n@end_code\n", ""},
  });
  // A source file with a command extension is a page of its own, not an asset.
  EXPECT_TRUE(exists("site/docs/hello.htm"));
  EXPECT_FALSE(exists("site/docs/hello.cpp"));
}

TEST_F(CodeBlock, MissingOrIrregularFilesGiveOneErrorLine) {
  fs::create_directories(work / "proj/src.d");
  ASSERT_EQ(0, mkfifo((work / "proj/fifo.c").c_str(), 0644));
  write_project({{"page.orv",
                  "@code\n@@src gone&.c\n@end_code\n@code\n@@src src.d\n@end_code\n"
                  "@code\n@@src fifo.c\n@end_code\n@code\n@@src /dev/zero\n@end_code\n"}});
  const run_result result = run();
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ(listing({"// Error: External file not found: gone&amp;.c"}) +
                listing({"// Error: External file not found: src.d"}) +
                listing({"// Error: External file not found: fifo.c"}) +
                listing({"// Error: External file not found: /dev/zero"}),
            page_body(read("site/page.htm")));
  EXPECT_EQ(
      "Error: Could not open external code file 'proj/gone&.c'\n"
      "Error: Could not open external code file 'proj/src.d'\n"
      "Error: Could not open external code file 'proj/fifo.c'\n"
      "Error: Could not open external code file '/dev/zero'\n",
      result.err);
}
