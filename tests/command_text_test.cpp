// Text blocks as pages show them: inline lines, external files and their errors.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "scratch_run.h"

namespace fs = std::filesystem;

namespace {

const std::string default_style = "width: auto; height: auto; font-size: 16px; color: #d4d4d4";

std::string panel(const std::vector<std::string>& cells, std::string_view style = default_style,
                  std::string_view whitespace = "pre") {
  std::string html = "  <div class=\"text\" style=\"" + std::string(style) + ";\">\n    <table>\n";
  for (const std::string& cell : cells) {
    html += "      <tr>\n        <td class=\"text-line-content\" style=\"white-space: " +
            std::string(whitespace) + ";\">" + cell + "</td>\n      </tr>\n";
  }
  return html + "    </table>\n  </div>\n";
}

std::string missing(std::string_view src) {
  return panel({"[Error: External text file not found: " + std::string(src) + "]"});
}

}  // namespace

using TextBlock = ScratchRun;

TEST_F(TextBlock, WritesOneRowPerInlineLine) {
  expect_pages({
      {"defaults", "@text\nword\n\n   \n@end_text\n", panel({"word", "&nbsp;", "   "})},
      {"nothing_to_show", "@text\n@@color red\n@end_text\n", ""},
      {"escaping", "@text\n<a> & \"q\" 'r'\n\ttab\n@end_text\n",
       panel({"&lt;a&gt; &amp; \"q\" 'r'", "\ttab"})},
      {"sizes", "@text\n@@width 50%\n@@height 300px\n@@size 18\nx\n@end_text\n",
       panel({"x"}, "width: 50%; height: 300px; font-size: 18px; color: #d4d4d4")},
      {"size_rule",
       "@text\n@@width 300\n@@size 1.2em\nx\n@end_text\n@text\n@@size 2rem\nx\n@end_text\n"
       "@text\n@@size 120%\n@@height auto\nx\n@end_text\n@text\n@@size auto\nx\n@end_text\n",
       panel({"x"}, "width: 300px; height: auto; font-size: 1.2em; color: #d4d4d4") +
           panel({"x"}, "width: auto; height: auto; font-size: 2rem; color: #d4d4d4") +
           panel({"x"}, "width: auto; height: auto; font-size: 120%px; color: #d4d4d4") +
           panel({"x"}, "width: auto; height: auto; font-size: autopx; color: #d4d4d4")},
      {"whitespace_and_quotes",
       "@text\n@@whitespace normal\n@@color red\"x\nx\n@end_text\n"
       "@text\n@@whitespace pre\"wrap\nx\n@end_text\n",
       panel({"x"}, "width: auto; height: auto; font-size: 16px; color: red&quot;x", "normal") +
           panel({"x"}, default_style, "pre&quot;wrap")},
      {"setting_like_lines", "@text\n@@size 20\n@@other x\n@@size\n@end_text\n",
       panel({"@@other x", "@@size"},
             "width: auto; height: auto; font-size: 20px; color: #d4d4d4")},
      {"later_kinds_are_content", "@text\n@code\n@end_link\n@link\n @title\n@end_text\n",
       panel({"@code", "@end_link", "@link", " @title"})},
      {"reopening_discards", "@text\ngone\n@text\nkept\n@end_text\n", panel({"kept"})},
      {"closing_twice", "@text\nagain\n@end_text\n@end_text\n",
       panel({"again"}) + panel({"again"})},
      {"windows_lines", "@text\r\n@@width 10\r\nwin\r\n\r\n@end_text\r\n",
       panel({"win", "&nbsp;"}, "width: 10px; height: auto; font-size: 16px; color: #d4d4d4")},
      {"last_line_without_line_feed", "@text\nlast\n@end_text", panel({"last"})},
  });
}

TEST_F(TextBlock, ReadsExternalFilesBesideTheCommandFile) {
  write_project({
      {"docs/notes.txt", "one\r\n\r\n  <two> & x\r\nlast without line feed"},
      {"docs/bom.txt",
       "\xef\xbb\xbf"
       "first\n\xff\xfe raw\n"},
      {"docs/empty.txt", ""},
      {"top.txt", "from the top\n"},
  });
  const std::string absolute = (work / "proj/top.txt").string();
  expect_pages({
      {"docs/guide", "@text\nbefore\n@@src notes.txt\nafter\n@end_text\n",
       panel({"one", "&nbsp;", "  &lt;two&gt; &amp; x", "last without line feed"})},
      {"docs/bytes", "@text\n@@src bom.txt\n@end_text\n",
       panel({"\xef\xbb\xbf"
              "first",
              "\xff\xfe raw"})},
      {"docs/empty", "@text\n@@src empty.txt\n@end_text\n", ""},
      {"absolute", "@text\n@@src " + absolute + "\n@end_text\n", panel({"from the top"})},
  });
}

TEST_F(TextBlock, MissingOrIrregularFilesGiveOneErrorRow) {
  fs::create_directories(work / "proj/docs/folder.txt");
  ASSERT_EQ(0, mkfifo((work / "proj/docs/pipe.txt").c_str(), 0644));
  write_project({{"docs/page.orv",
                  "@text\n@@src gone <1>.txt\n@end_text\n@text\n@@src folder.txt\n"
                  "@end_text\n@text\n@@src pipe.txt\n@end_text\n@text\n"
                  "@@src /dev/zero\n@end_text\n"}});
  const run_result result = run();
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ(missing("gone &lt;1&gt;.txt") + missing("folder.txt") + missing("pipe.txt") +
                missing("/dev/zero"),
            page_body(read("site/docs/page.htm")));
  EXPECT_EQ(
      "Error: Could not open external text file 'proj/docs/gone <1>.txt'\n"
      "Error: Could not open external text file 'proj/docs/folder.txt'\n"
      "Error: Could not open external text file 'proj/docs/pipe.txt'\n"
      "Error: Could not open external text file '/dev/zero'\n",
      result.err);
}
