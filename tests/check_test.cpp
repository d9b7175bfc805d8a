// orvello check through the real binary: each finding on a small project, with the exact lines
// it prints and the exit status.
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "scratch_run.h"

namespace {

class Check : public ScratchRun {};

struct check_case {
  std::vector<std::pair<std::string, std::string>> files;  // below proj/, the page first
  std::string out;
  int status = 0;
};

TEST_F(Check, PrintsEachFindingAtItsLineAndColumn) {
  const std::vector<check_case> cases = {
      {{{"page.orv", ""}}, "0 errors, 0 warnings in 1 page\n", 0},
      {{{"page.orv", "@text\nx\n"}},
       "proj/page.orv:1:1: error: @text is never closed before the end of the file: the block is "
       "dropped from the page [unclosed-block]\n1 error, 0 warnings in 1 page\n",
       1},
      {{{"page.orv", "@image\n@@src a.png\n@image\n@@src a.png\n@end_image\n"}, {"a.png", ""}},
       "proj/page.orv:1:1: error: @image is never closed, for it opens again at line 3: the block "
       "is dropped from the page [unclosed-block]\n1 error, 0 warnings in 1 page\n",
       1},
      {{{"page.orv", "@tittle\n"}},
       "proj/page.orv:1:1: warning: \"@tittle\" is no line of the page language and is ignored; "
       "did you mean @title? [unknown-line]\n0 errors, 1 warning in 1 page\n",
       0},
      {{{"page.orv", "@text\n@@colour red\nx\n@end_text\n"}},
       "proj/page.orv:2:1: warning: @@colour is no setting of @text and becomes a line of the "
       "panel; did you mean @@color? [unknown-setting]\n0 errors, 1 warning in 1 page\n",
       0},
      {{{"page.orv", "@@text Hello\n"}},
       "proj/page.orv:1:1: warning: @@text stands outside every block and sets nothing "
       "[setting-outside-block]\n0 errors, 1 warning in 1 page\n",
       0},
      {{{"page.orv", "@link\n@@url\n@end_link\n"}},
       "proj/page.orv:2:6: warning: @@url is not followed by one blank and sets nothing; write "
       "\"@@url \" and the value [setting-without-blank]\n0 errors, 1 warning in 1 page\n",
       0},
      {{{"page.orv", "@code\n@@src gone.c\n@end_code\n"}},
       "proj/page.orv:2:7: error: the file \"gone.c\" (proj/gone.c) cannot be read: the listing "
       "shows an error line instead [unreadable-file]\n1 error, 0 warnings in 1 page\n",
       1},
      // A closing line alone repeats the last block, and with it the missing picture.
      {{{"page.orv", "@image\n@@src pic.png\n@end_image\n@end_image\n"}},
       "proj/page.orv:2:7: error: the source \"pic.png\" names no file of the site: there is no "
       "proj/pic.png [missing-source]\nproj/page.orv:4:1: warning: @end_image closes no block: it "
       "writes the last @image block of the run again, with its settings; remove it, or open the "
       "block before it [closing-without-opening]\nproj/page.orv:4:1: error: the source "
       "\"pic.png\" names no file of the site: there is no proj/pic.png [missing-source]\n2 "
       "errors, 1 warning in 1 page\n",
       1},
      {{{"page.orv", "@link\n@@url a.htm\n@end_link\n@end_link\n"}, {"a.orv", ""}},
       "proj/page.orv:4:1: warning: @end_link closes no block: it writes the last @link block of "
       "the run again, with its settings; remove it, or open the block before it "
       "[closing-without-opening]\n0 errors, 1 warning in 2 pages\n",
       0},
      {{{"page.orv", "@text\nx\n@image\n@@src forest.png\n@end_image\n@end_text\n"},
        {"forest.png", "\x89PNG"}},
       "proj/page.orv:3:1: error: @image inside @text opens no block: it and its lines up to "
       "@end_image become lines of the panel, and its @@src, @@width and @@height set those of "
       "@text; close @text before @image [block-inside-block]\n1 error, 0 warnings in 1 page\n",
       1},
      {{{"page.orv", "@link\n@code\nx\n@end_code\n@end_link\n"}},
       "proj/page.orv:2:1: error: @code inside @link opens no block: it and its lines up to "
       "@end_code are ignored; close @link before @code [block-inside-block]\n1 error, 0 warnings "
       "in 1 page\n",
       1},
      {{{"page.orv", "@text\nx\n@title\n@end_title\n@end_text\n"}},
       "proj/page.orv:3:1: warning: @title inside @text opens its own block, which is written "
       "before the @text block that holds it; close @text before @title [block-inside-block]\n0 "
       "errors, 1 warning in 1 page\n",
       0},
      {{{"page.orv", "\xEF\xBB\xBF@title\n@@text Hi\n@end_title\n"}},
       "proj/page.orv:1:1: error: the file starts with a byte-order mark (the bytes EF BB BF), "
       "which the run reads as part of the first line, so that line is not @title; save the file "
       "as UTF-8 without a byte-order mark [byte-order-mark]\nproj/page.orv:2:1: warning: @@text "
       "stands outside every block and sets nothing [setting-outside-block]\nproj/page.orv:3:1: "
       "warning: @end_title closes no block: it writes the last @title block of the run again, "
       "with its settings; remove it, or open the block before it [closing-without-opening]\n1 "
       "error, 2 warnings in 1 page\n",
       1},
      {{{"page.orv", "\t@image\n@text\nx\n  @end_text\n@end_text\n"}},
       "proj/page.orv:1:1: warning: @image is preceded by a tab, so it is not that line and is "
       "ignored; remove the tab [blank-around-line]\nproj/page.orv:4:1: warning: @end_text is "
       "preceded by blanks, so it is not that line and becomes a line of the panel; remove the "
       "blanks [blank-around-line]\n0 errors, 2 warnings in 1 page\n",
       0},
      {{{"page.orv", "@title\n@@text\tHi\n@end_title\n"}},
       "proj/page.orv:2:7: warning: @@text is followed by a tab, not one blank, and sets nothing; "
       "write \"@@text \" and the value [setting-without-blank]\n0 errors, 1 warning in 1 page\n",
       0},
      {{{"page.orv", ""}, {"Notes.ORV", "Notes\n@title\n@end_title\n"}},
       "proj/Notes.ORV:2:1: error: this file ends in \".ORV\", not \".orv\", so the run copies it "
       "to the site as it is instead of compiling it into the page site/Notes.htm; rename it "
       "Notes.orv [command-file-case]\n1 error, 0 warnings in 1 page\n",
       1},
      {{{"docs/page.orv", "@video\n@@src /media/clip.webm\n@end_video\n"}, {"media/clip.webm", ""}},
       "proj/docs/page.orv:2:7: warning: the address \"/media/clip.webm\" starts with \"/\", so "
       "it leads from the top of the host: it works only when the site is served at a host's top, "
       "not from files or a subfolder; write \"../media/clip.webm\" [address-from-root]\n0 "
       "errors, 1 warning in 1 page\n",
       0},
      {{{"docs/page.orv",
         "@link\n@@url media.html\n@end_link\n@image\n@@src img/forest.png\n@end_image\n"},
        {"docs/media.orv", ""},
        {"img/forest.png", ""}},
       "proj/docs/page.orv:2:7: error: the link \"media.html\" leads to nothing in the site: there "
       "is no proj/docs/media.html; did you mean \"media.htm\"? [broken-link]\n"
       "proj/docs/page.orv:5:7: error: the source \"img/forest.png\" names no file of the site: "
       "there is no proj/docs/img/forest.png; did you mean \"../img/forest.png\"? "
       "[missing-source]\n2 errors, 0 warnings in 2 pages\n",
       1},
      {{{"page.orv", "@title\r@@text Old Mac\r@end_title\r"}},
       "proj/page.orv:1:1: error: the file's lines end in a carriage return alone (old Mac line "
       "ends), which the run does not take as line ends: these 3 lines are read as one line, and "
       "their blocks are lost; save the file with LF or CRLF line ends "
       "[carriage-return-lines]\n1 error, 0 warnings in 1 page\n",
       1},
      // The last kind in routing order, so that the loop over kinds reaches it.
      {{{"page.orv", "@code\nint x;\n"}},
       "proj/page.orv:1:1: error: @code is never closed before the end of the file: the block is "
       "dropped from the page [unclosed-block]\n1 error, 0 warnings in 1 page\n",
       1},
      {{{"docs/page.orv",
         "@link\n@@url ../index.htm#top\n@end_link\n@link\n@@url guide.orv\n@end_link\n"},
        {"index.orv", ""},
        {"docs/guide.orv", ""}},
       "proj/docs/page.orv:5:7: error: the link \"guide.orv\" leads to nothing in the site: "
       "proj/docs/guide.orv is compiled into a page, not copied; name the page, guide.htm "
       "[broken-link]\n1 error, 0 warnings in 3 pages\n",
       1},
      {{{"page.orv", "@pdf\n@@src site/a.pdf\n@end_pdf\n"}},
       "proj/page.orv:2:7: warning: the PDF source \"site/a.pdf\" starts with \"site/\", which the "
       "desktop frame drops while the phone button and a page opened as a file keep it; give the "
       "source relative to the page [pdf-source-from-root]\n0 errors, 1 warning in 1 page\n",
       0},
      {{{"tool.c", "int main(void) { return 0; }\n"}},
       "proj/tool.c:1:1: warning: this file has no block: it becomes an empty page and is not "
       "copied to the site; to show it in a code block, give it a name that does not end in .c "
       "(such as tool.c.txt) [source-as-page]\n0 errors, 1 warning in 1 page\n",
       0},
      {{{"page.orv", "@text\n@@size 50%\nx\n@end_text\n@title\n@@size \n@end_title\n"}},
       "proj/page.orv:2:8: warning: @@size \"50%\" is written as \"50%px\", which browsers drop; "
       "write \"0.5em\" [bad-length]\nproj/page.orv:6:8: warning: @@size \"\" is written as "
       "\"px\", which browsers drop; write \"16\" [bad-length]\n0 errors, 2 warnings in 1 page\n",
       0},
      {{{"page.orv", "@pdf\n@end_pdf\n"}},
       "proj/page.orv:1:1: error: @pdf has no source: its frame shows the site's front page "
       "instead [empty-source]\n1 error, 0 warnings in 1 page\n",
       1},
      {{{"page.orv", "@video\n@@src https://example.org/v?a=1&amp;b=2\n@end_video\n"}},
       "proj/page.orv:2:7: warning: the address holds \"&amp;\", which browsers read as a "
       "character reference, so it is not followed as typed; write \"&\" alone "
       "[entity-in-address]\n0 errors, 1 warning in 1 page\n",
       0},
      {{{"page.orv", "@video\n@@src v.webm\n@@loop true \n@end_video\n"}, {"v.webm", ""}},
       "proj/page.orv:3:12: warning: the value \"true \" of @@loop ends in blanks, which are part "
       "of it; write \"true\" [trailing-blank]\n0 errors, 1 warning in 1 page\n",
       0},
      {{{"main.css", "body {}\n"}},
       "proj/main.css:1:1: warning: the run writes its own stylesheet site/main.css over this "
       "file [main-css-replaced]\n0 errors, 1 warning in 0 pages\n",
       0},
      {{{"page.orv", "@code\nint x;\n@end_title\n@end_code\n"}},
       "proj/page.orv:3:1: warning: @end_title inside @code is no line of the listing: it writes "
       "the last such block again, which lands before the listing; show the language from a file "
       "with @@src [line-taken-from-code]\n0 errors, 1 warning in 1 page\n",
       0},
  };
  for (const check_case& c : cases) {
    std::filesystem::remove_all(work / "proj");
    write_project(c.files);
    const run_result result = run(with_args({"check"}));
    EXPECT_EQ(c.out, result.out) << c.files.front().second;
    EXPECT_EQ("", result.err);
    EXPECT_EQ(c.status, result.exit_status) << c.files.front().second;
  }
  EXPECT_EQ((std::vector<std::string>{"proj/", "proj/page.orv"}), tree(work))
      << "check writes nothing";
}

TEST_F(Check, EndsTheBuildOfASiteWithSettingsWithItsFindings) {
  write_project({{"index.orv", "@text\nx\n@tittle\n"}});
  write("orvello.toml", "[site]\ntitle = \"Notes\"\n");
  std::vector<std::string> lines = lines_of(run().out);
  EXPECT_EQ("[ORVELLO] 2 findings (1 error, 1 warning): run 'orvello check' to see them",
            lines.back());
  write_project({{"index.orv", "@text\nx\n@end_text\n"}});
  lines = lines_of(run().out);
  EXPECT_EQ("[ORVELLO] 0 findings by 'orvello check'", lines.back());
  std::filesystem::remove(work / "orvello.toml");
  lines = lines_of(run().out);
  EXPECT_EQ("[ORVELLO] END GENERATOR", lines.back()) << "without settings, the build is as before";
}

TEST_F(Check, CountsWarningsAsErrorsWithWerror) {
  write_project({{"page.orv", "@tittle\n"}});
  EXPECT_EQ(0, run(with_args({"check"})).exit_status);
  EXPECT_EQ(1, run(with_args({"check", "--werror"})).exit_status);
}

TEST_F(Check, ReportsTwoCommandFilesOfOnePageOnce) {
  write_project({{"a.orv", ""}, {"a.cpp", "@title\n@end_title\n"}});
  const std::vector<std::string> lines = lines_of(run(with_args({"check"})).out);
  ASSERT_EQ(2u, lines.size());
  EXPECT_TRUE(
      lines[0].ends_with("both become the page site/a.htm: the one compiled later "
                         "replaces the other [same-page]"))
      << lines[0];
  EXPECT_EQ("1 error, 0 warnings in 2 pages", lines[1]);
}

TEST_F(Check, NeverWaitsOnAFifo) {
  write_project({{"page.orv", "@text\n@@src pipe\n@end_text\n"}});
  ASSERT_EQ(0, mkfifo((work / "proj/pipe").c_str(), 0600));
  const run_result result = run(with_args({"check"}));
  EXPECT_EQ(1, result.exit_status);
  EXPECT_TRUE(result.out.ends_with("1 error, 0 warnings in 1 page\n")) << result.out;
}

TEST_F(Check, FailsWithoutAProject) {
  const run_result result = run(with_args({"check"}));
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ("Error: Source directory 'proj' does not exist.\n", result.err);
}

TEST_F(Check, FindsTheShowcaseClean) {
  const run_result result = run(with_args({"-C", ORVELLO_SHOWCASE, "check", "--werror"}));
  EXPECT_EQ("0 errors, 0 warnings in 7 pages\n", result.out);
  EXPECT_EQ(0, result.exit_status);
}

}  // namespace

namespace {

TEST_F(Check, FindsBrokenMarkdownLinksAndUnknownLanguagesOnASiteWithSettings) {
  const std::vector<check_case> cases = {
      {{{"page.orv",
         "@markdown\nSee [a](gone.htm), [b](page.htm)\n  and ![p](p.png).\n"
         "[c](tool.c)\n@end_markdown\n"},
        {"tool.c", "int main(void) { return 0; }\n"}},
       "proj/page.orv:2:9: error: the link \"gone.htm\" leads to nothing in the site: there is no "
       "proj/gone.htm [broken-link]\nproj/page.orv:3:12: error: the source \"p.png\" names no "
       "file of the site: there is no proj/p.png [missing-source]\n2 errors, 0 warnings in 2 "
       "pages\n",
       1},
      {{{"page.orv", "@markdown\n@@src notes.md\n@end_markdown\n"},
        {"notes.md", "\n [x](y.htm)\n"}},
       "proj/page.orv:2:7: error: the link \"y.htm\" leads to nothing in the site: there is no "
       "proj/y.htm (in notes.md at line 2, column 6) [broken-link]\n1 error, 0 warnings in 1 "
       "page\n",
       1},
      {{{"page.orv",
         "@code\n@@language pyhton\nx\n@end_code\n@markdown\n@@language klingon\n"
         "@end_markdown\n"}},
       "proj/page.orv:2:12: warning: no language is called \"pyhton\": the listing is not "
       "coloured; did you mean Python? [unknown-language]\nproj/page.orv:6:12: warning: no "
       "language is called \"klingon\": the listing is not coloured [unknown-language]\n0 errors, "
       "2 warnings in 1 page\n",
       0},
  };
  write("orvello.toml", "");
  for (const check_case& c : cases) {
    std::filesystem::remove_all(work / "proj");
    write_project(c.files);
    const run_result result = run(with_args({"check"}));
    EXPECT_EQ(c.out, result.out) << c.files.front().second;
    EXPECT_EQ(c.status, result.exit_status) << c.files.front().second;
  }
}

TEST_F(Check, SaysThatMarkdownNeedsSettings) {
  write_project({{"page.orv", "@markdown\n@end_markdown\n"}});
  EXPECT_EQ(
      "proj/page.orv:1:1: warning: \"@markdown\" belongs to sites with settings and is ignored "
      "here; put an orvello.toml beside proj/ to use it [needs-settings]\nproj/page.orv:2:1: "
      "warning: \"@end_markdown\" belongs to sites with settings and is ignored here; put an "
      "orvello.toml beside proj/ to use it [needs-settings]\n0 errors, 2 warnings in 1 page\n",
      run(with_args({"check"})).out);
}

}  // namespace
