#include "utils.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(HtmlEscape, EscapesAmpersandAndAngleBracketsOnly) {
  EXPECT_EQ("", html_escape(""));
  EXPECT_EQ("plain words", html_escape("plain words"));
  EXPECT_EQ("&lt;b&gt;", html_escape("<b>"));
  EXPECT_EQ("a &amp;&amp; b", html_escape("a && b"));
  EXPECT_EQ("&lt;&amp;&gt;", html_escape("<&>"));
  EXPECT_EQ("&amp;amp;", html_escape("&amp;"));
  EXPECT_EQ("\"quoted\" 'single'", html_escape("\"quoted\" 'single'"));
  EXPECT_EQ("  tab\tand\nline feed", html_escape("  tab\tand\nline feed"));
  EXPECT_EQ("caf\xc3\xa9 \xe2\x86\x92 &lt;", html_escape("caf\xc3\xa9 \xe2\x86\x92 <"));
  EXPECT_EQ(std::string("nul\0&amp;", 9), html_escape(std::string("nul\0&", 5)));
}

TEST(FileExtension, RunsFromTheLastDotUnlessThatDotStartsTheName) {
  EXPECT_EQ("", file_extension(""));
  EXPECT_EQ(".png", file_extension("logo.png"));
  EXPECT_EQ(".orv", file_extension("page.old.orv"));
  EXPECT_EQ(".gz", file_extension("archive.tar.gz"));
  EXPECT_EQ(".", file_extension("trailing."));
  EXPECT_EQ("", file_extension("README"));
  EXPECT_EQ("", file_extension(".c"));
  EXPECT_EQ("", file_extension(".htaccess"));
  EXPECT_EQ(".orv", file_extension(".hidden.orv"));
}

TEST(IsCommandFile, MatchesTheListExactlyAndCaseSensitively) {
  const std::vector<std::string> extensions{".orv", ".c", ".cpp"};
  EXPECT_TRUE(is_command_file("index.orv", extensions));
  EXPECT_TRUE(is_command_file("tool.c", extensions));
  EXPECT_TRUE(is_command_file("main.cpp", extensions));
  EXPECT_TRUE(is_command_file("page.old.orv", extensions));
  EXPECT_FALSE(is_command_file("notes.ORV", extensions));
  EXPECT_FALSE(is_command_file("Main.CPP", extensions));
  EXPECT_FALSE(is_command_file("header.h", extensions));
  EXPECT_FALSE(is_command_file("main.cc", extensions));
  EXPECT_FALSE(is_command_file("page.orv.bak", extensions));
  EXPECT_FALSE(is_command_file(".orv", extensions));
  EXPECT_FALSE(is_command_file("README", extensions));
  EXPECT_FALSE(is_command_file("", extensions));
  EXPECT_FALSE(is_command_file("index.orv", {}));
}

TEST(DepthPrefix, OneStepUpPerFolder) {
  EXPECT_EQ("", depth_prefix(""));
  EXPECT_EQ("", depth_prefix("index.orv"));
  EXPECT_EQ("", depth_prefix("./index.orv"));
  EXPECT_EQ("../", depth_prefix("docs/guide.orv"));
  EXPECT_EQ("../../", depth_prefix("a/b/page.orv"));
  EXPECT_EQ("../../../", depth_prefix("a/b/c/page.cpp"));
}
