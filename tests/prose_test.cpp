// Markdown, coloured listings and source pages through the built program: all of them only on a
// site with settings, and not a byte different without.
#include <gtest/gtest.h>

#include "scratch_run.h"

namespace {

using Prose = ScratchRun;

// True when `text` holds every one of `parts`; names the first missing one otherwise.
::testing::AssertionResult holds_all(const std::string& text,
                                     std::initializer_list<std::string_view> parts) {
  for (const std::string_view part : parts) {
    if (text.find(part) == std::string::npos) {
      return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
    }
  }
  return ::testing::AssertionSuccess();
}

constexpr std::string_view markdown_page =
    "@markdown\n"
    "# Getting *started*\n"
    "| a | b |\n|---|--:|\n| 1 | 2 |\n\n"
    "~~old~~ https://example.org/x\n\n"
    "- [x] done\n\n"
    "<b onclick=\"x()\">raw</b>\n\n"
    "```c\nint main(void) { return 0; }\n```\n"
    "@end_markdown\n"
    "@code\n@@language python\ndef f(): pass\n@end_code\n";

TEST_F(Prose, WithoutSettingsEveryLineIsWhatItWas) {
  write_project(
      {{"index.orv", std::string(markdown_page)}, {"hello.c", "int main(void) { return 0; }\n"}});
  ASSERT_EQ(run().exit_status, 0);
  const std::string body = page_body(read("site/index.htm"));
  EXPECT_EQ(body.find("Getting"), std::string::npos) << body;  // @markdown is no block
  EXPECT_TRUE(holds_all(body, {"<code>@@language python</code>"}));
  EXPECT_EQ(body.find("<figure"), std::string::npos);
  EXPECT_EQ(page_body(read("site/hello.htm")), "");
  EXPECT_FALSE(exists("site/hello.c"));
}

TEST_F(Prose, MarkdownWritesItsExtensionsHeadingIdsAndEscapesRawHtml) {
  write("orvello.toml", "");
  write_project({{"index.orv", std::string(markdown_page)}});
  ASSERT_EQ(run().exit_status, 0);
  const std::string body = page_body(read("site/index.htm"));
  EXPECT_TRUE(holds_all(
      body,
      {"<div class=\"markdown\">\n<h1 id=\"getting-started\">Getting <em>started</em></h1>",
       "<th>a</th><th style=\"text-align: right\">b</th>", "<del>old</del>",
       "<a href=\"https://example.org/x\">https://example.org/x</a>",
       "<li class=\"task done\"><input type=\"checkbox\" disabled checked",
       "<p>&lt;b onclick=\"x()\"&gt;raw&lt;/b&gt;</p>", "<span class=\"listing-language\">C</span>",
       "<code><span class=\"hl-type\">int</span> main",
       "<span class=\"listing-language\">Python</span>",
       "<code><span class=\"hl-kw\">def</span> f(): <span class=\"hl-flow\">pass</span>"}));
  EXPECT_TRUE(holds_all(read("site/main.css"), {".hl-kw", ".markdown {"}));
}

TEST_F(Prose, RawHtmlPassesWhenTheSettingsAllowIt) {
  write("orvello.toml", "[markdown]\nraw_html = true\n");
  write_project({{"index.orv", std::string(markdown_page)}});
  ASSERT_EQ(run().exit_status, 0);
  EXPECT_TRUE(holds_all(read("site/index.htm"), {"<p><b onclick=\"x()\">raw</b></p>"}));
}

TEST_F(Prose, MarkdownAndListingsReadTheirFilesFromBesideThePage) {
  write("orvello.toml", "");
  write_project({{"docs/guide.orv",
                  "@markdown\n@@src notes.md\n@end_markdown\n@markdown\n@@src gone.md\n"
                  "@end_markdown\n@code\n@@src tool.py\n@end_code\n@code\n@@src notes.md\n"
                  "@end_code\n"},
                 {"docs/notes.md", "## From a *file*\n\n[back](../index.htm)\n"},
                 {"docs/tool.py", "import sys\n"}});
  const run_result result = run();
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const std::string body = page_body(read("site/docs/guide.htm"));
  EXPECT_TRUE(holds_all(
      body,
      {"<h2 id=\"from-a-file\">From a <em>file</em></h2>", "<a href=\"../index.htm\">back</a>",
       "<p>[Error: External Markdown file not found: gone.md]</p>",
       "<span class=\"listing-language\">Python</span>", "<span class=\"hl-imp\">import</span>",
       "<span class=\"listing-language\">Markdown"}));
  EXPECT_TRUE(holds_all(result.err, {"Error: Could not open external Markdown file"}));
}

TEST_F(Prose, ASourceFileBecomesItsOwnListingAndIsCopied) {
  write("orvello.toml", "");
  const std::string source = "#include <stdio.h>\nint main(void) { puts(\"<hi>\"); }\n";
  write_project({{"code/hello.c", source}, {"code/a.cpp", ""}});
  ASSERT_EQ(run().exit_status, 0);
  EXPECT_EQ(read("site/code/hello.c"), source);
  const std::string body = page_body(read("site/code/hello.htm"));
  EXPECT_TRUE(holds_all(
      body,
      {"<h1 class=\"title source-title\">hello.c</h1>", "<span class=\"listing-language\">C</span>",
       "<td class=\"code-line-number\">2</td>", "<span class=\"hl-str\">\"&lt;hi&gt;\"</span>"}));
  EXPECT_EQ(page_body(read("site/code/a.htm")), "  <h1 class=\"title source-title\">a.cpp</h1>\n");
}

TEST_F(Prose, AnUnknownLanguageLeavesTheListingPlain) {
  write("orvello.toml", "");
  write_project({{"index.orv", "@code\n@@language klingon\na < b\n@end_code\n"}});
  ASSERT_EQ(run().exit_status, 0);
  EXPECT_TRUE(
      holds_all(page_body(read("site/index.htm")),
                {"<figure class=\"listing\">\n    <figcaption><button", "<code>a &lt; b</code>"}));
}

}  // namespace
