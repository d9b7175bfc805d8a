// The page frame and the walk of the page compiler, through the real binary.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "scratch_run.h"

namespace fs = std::filesystem;

namespace {

bool contains_line(const std::string& text, const std::string& line) {
  return text.find(line + "\n") != std::string::npos;
}

}  // namespace

using PageCompiler = ScratchRun;

TEST_F(PageCompiler, PagesLinkStylesheetAndIconAtTheirDepth) {
  write_project({{"index.orv", ""}, {"docs/guide.orv", ""}, {"a/b/page.orv", ""}});
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status) << result.err;
  const std::string top = read("site/index.htm");
  const std::string time = footer_time(top);
  EXPECT_EQ(expected_page("", false, "", time), top);
  EXPECT_EQ(expected_page("../", false, "", time), read("site/docs/guide.htm"));
  EXPECT_EQ(expected_page("../../", false, "", time), read("site/a/b/page.htm"));
  EXPECT_TRUE(contains_line(result.out, "Compiled: docs/guide.orv -> site/docs/guide.htm"));
  EXPECT_TRUE(contains_line(result.out, "Compiled: a/b/page.orv -> site/a/b/page.htm"));
}

TEST_F(PageCompiler, FaviconPngSwitchesEveryPageIcon) {
  write_project({{"favicon.png", "png"}, {"index.orv", ""}, {"docs/guide.orv", ""}});
  ASSERT_EQ(0, run().exit_status);
  const std::string top = read("site/index.htm");
  EXPECT_EQ(expected_page("", true, "", footer_time(top)), top);
  EXPECT_EQ(expected_page("../", true, "", footer_time(top)), read("site/docs/guide.htm"));
}

TEST_F(PageCompiler, FaviconPngCountsOnlyAtTheTop) {
  write_project({{"docs/favicon.png", "png"}, {"docs/guide.orv", ""}});
  ASSERT_EQ(0, run().exit_status);
  const std::string page = read("site/docs/guide.htm");
  EXPECT_EQ(expected_page("../", false, "", footer_time(page)), page);
}

TEST_F(PageCompiler, CAndCppFilesArePagesOtherNamesAreNot) {
  write_project({{"tool.c", "int main() { return 0; }\n"},
                 {"src/main.cpp", "#include <cstdio>\n"},
                 {"notes.ORV", "@title\n@end_title\n"},
                 {"README", "text"}});
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status);
  std::vector<std::string> order = compiled_order(result.out);
  std::sort(order.begin(), order.end());
  EXPECT_EQ((std::vector<std::string>{"src/main.cpp", "tool.c"}), order);
  EXPECT_EQ("", page_body(read("site/tool.htm")));
  EXPECT_EQ("", page_body(read("site/src/main.htm")));
  EXPECT_FALSE(exists("site/tool.c"));
  EXPECT_FALSE(exists("site/notes.htm"));
}

TEST_F(PageCompiler, TextOutsideBlocksIsNotCopied) {
  write_project({{"index.orv", "Just some words.\n<b>bold</b>\n@@text stray setting\n\n"}});
  ASSERT_EQ(0, run().exit_status);
  EXPECT_EQ("", page_body(read("site/index.htm")));
}

TEST_F(PageCompiler, UnreadableCommandFileIsReportedAndTheOthersAreBuilt) {
  write_project({{"secret.orv", "@title\n@end_title\n"}, {"index.orv", ""}, {"docs/a.orv", ""}});
  fs::permissions(work / "proj/secret.orv", fs::perms::none);
  const run_result result = run(as_nobody());
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ("Error: Could not open file proj/secret.orv\n", result.err);
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 5/5\n")) << result.out;
  EXPECT_TRUE(exists("site/index.htm"));
  EXPECT_TRUE(exists("site/docs/a.htm"));
  EXPECT_FALSE(exists("site/secret.htm"));
}

TEST_F(PageCompiler, FolderWherePageGoesIsReportedAndTheOthersAreBuilt) {
  write_project({{"a.orv", ""}, {"b.orv", ""}});
  fs::create_directories(work / "proj/a.htm");
  const run_result result = run();
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ("Error: Could not create output HTM site/a.htm\n", result.err);
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 5/5\n")) << result.out;
  EXPECT_TRUE(fs::is_directory(work / "site/a.htm"));
  EXPECT_TRUE(exists("site/b.htm"));
}

TEST_F(PageCompiler, ReadErrorInCommandFileFailsTheStep) {
  // Reading the process's own memory at offset 0 fails with an I/O error.
  fs::create_directories(work / "proj");
  fs::create_symlink("/proc/self/mem", work / "proj/broken.orv");
  write_project({{"index.orv", ""}});
  const run_result result = run();
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ("Error: Could not read file proj/broken.orv\n", result.err);
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 5/5\n")) << result.out;
  EXPECT_TRUE(exists("site/index.htm"));
}

TEST_F(PageCompiler, TwoCommandFilesForOnePageWarnAndTheLaterWins) {
  write_project({{"a.orv", ""}, {"a.c", ""}});
  const run_result result = run();
  EXPECT_EQ(0, result.exit_status);
  const std::vector<std::string> order = compiled_order(result.out);
  ASSERT_EQ(2u, order.size());
  EXPECT_EQ(
      "Warning: site/a.htm was already written in this run and is replaced by the page "
      "compiled from proj/" +
          order[1] + "\n",
      result.err);
}

TEST_F(PageCompiler, PageReplacingACopiedAssetWarns) {
  write_project({{"docs/b.htm", "hand written"}, {"docs/b.orv", ""}});
  const run_result result = run();
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ(
      "Warning: site/docs/b.htm was already written in this run and is replaced by the "
      "page compiled from proj/docs/b.orv\n",
      result.err);
  EXPECT_EQ("", page_body(read("site/docs/b.htm")));
}

TEST_F(PageCompiler, EmptyProjectFileGivesHeadAndFooterOnly) {
  write_project({{"empty.orv", ""}});
  ASSERT_EQ(0, run().exit_status);
  const std::string page = read("site/empty.htm");
  EXPECT_EQ(expected_page("", false, "", footer_time(page)), page);
}

TEST_F(PageCompiler, FullDiskWhileWritingAPageFailsTheStepAfterTheWalk) {
  std::string many_lines = "@text\n";
  for (int i = 0; i < 400; ++i) {
    many_lines += "a line of text that makes the page grow\n";
  }
  write_project({{"big.orv", many_lines + "@end_text\n"}, {"small.orv", ""}});
  const run_result result = run(with_file_size_limit(8192));
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ("Error: Could not write output HTM site/big.htm\n", result.err);
  EXPECT_EQ(std::vector<std::string>{"small.orv"}, compiled_order(result.out));
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 5/5\n")) << result.out;
}

// Pages are written on another thread while the next ones compile: a page that fails to write
// and the blocks of later pages still report in walk order, and the step still fails.
TEST_F(PageCompiler, ErrorsOfPagesWrittenBehindTheCompilerComeInWalkOrder) {
  std::string many_lines = "@text\n";
  for (int i = 0; i < 400; ++i) {
    many_lines += "a line of text that makes the page grow\n";
  }
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 6; ++i) {
    files.push_back({"big" + std::to_string(i) + ".orv", many_lines + "@end_text\n"});
    files.push_back({"ext" + std::to_string(i) + ".orv", "@text\n@@src none.txt\n@end_text\n"});
  }
  write_project(files);
  std::string expected;
  for (const fs::directory_entry& entry : fs::directory_iterator(work / "proj")) {
    const std::string name = entry.path().stem().string();
    expected += name.starts_with("big")
                    ? "Error: Could not write output HTM site/" + name + ".htm\n"
                    : "Error: Could not open external text file 'proj/none.txt'\n";
  }
  const run_result result = run(with_file_size_limit(8192));
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ(expected, result.err);
  EXPECT_EQ(6u, compiled_order(result.out).size());
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 5/5\n")) << result.out;
}

// Command files are read ahead of their turn, but a linked one may lead to a page of this run: it
// is followed at its turn, so it is a page exactly when the page it leads to was written before.
TEST_F(PageCompiler, LinkedCommandFileThatIsAPageOfTheRunIsFollowedAtItsTurn) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 12; ++i) {
    files.push_back({"page" + std::to_string(i) + ".orv", "@text\nhello\n@end_text\n"});
  }
  write_project(files);
  for (int i = 0; i < 12; ++i) {
    const std::string n = std::to_string(i);
    fs::create_symlink("../site/page" + n + ".htm", work / ("proj/link" + n + ".orv"));
  }
  std::vector<std::string> expected;
  for (const fs::directory_entry& entry : fs::directory_iterator(work / "proj")) {
    const std::string name = entry.path().filename().string();
    const std::string page = "page" + name.substr(4);
    if (name.starts_with("page") ||
        std::find(expected.begin(), expected.end(), page) != expected.end()) {
      expected.push_back(name);
    }
  }
  EXPECT_EQ(expected, compiled_order(run().out));
}

// Large command files stay open at their turn, and the threads copying assets and preparing
// pages hold folders open: under a low limit on open files the run holds fewer rather than
// failing, and never waits for a page it has not handed over.
TEST_F(PageCompiler, LowOpenFilesLimitStillBuildsEveryPage) {
  std::string large = "@text\n";
  large.append(70 * 1024, 'x');
  large += "\n@end_text\n";
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 40; ++i) {
    std::string name = "f";
    name.append(std::to_string(i % 4)).append("/file").append(std::to_string(i));
    files.push_back({name + ".orv", i % 2 == 0 ? large : ""});
    files.push_back({name + ".txt", "x"});
  }
  write_project(files);
  for (const int limit : {16, 40, 64}) {
    run_options options;
    options.open_files_limit = limit;
    const run_result result = run(options);
    EXPECT_EQ(0, result.exit_status) << limit;
    EXPECT_EQ("", result.err) << limit;
    EXPECT_EQ(40u, compiled_order(result.out).size()) << limit;
    EXPECT_EQ("x", read("site/f3/file39.txt")) << limit;
  }
}

// Pages wait in memory to be written several at a time, and page files are created ahead of their
// turn: a block that reads an earlier page of the run as its external file still finds that page
// whole on disk, and a later page not at all.
TEST_F(PageCompiler, ExternalFileThatIsAnEarlierPageIsReadWhole) {
  constexpr int pages = 12;
  const auto stem = [](int i) {
    std::string name = "p";
    name += std::to_string(i % pages);
    return name;
  };
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < pages; ++i) {
    files.push_back(
        {stem(i) + ".orv", "@text\n@@src ../site/" + stem(i + 1) + ".htm\n@end_text\n"});
  }
  write_project(files);
  const run_result result = run();
  const std::vector<std::string> order = compiled_order(result.out);
  ASSERT_EQ(static_cast<std::size_t>(pages), order.size());
  const auto place = [&](int i) { return std::find(order.begin(), order.end(), stem(i) + ".orv"); };
  for (int i = 0; i < pages; ++i) {
    const std::string page = read("site/" + stem(i) + ".htm");
    const bool earlier = place(i + 1) < place(i);
    EXPECT_EQ(earlier, page.find("&lt;/html&gt;") != std::string::npos) << stem(i);
    const std::string not_found = "file not found: ../site/" + stem(i + 1) + ".htm]";
    EXPECT_EQ(!earlier, page.find(not_found) != std::string::npos) << stem(i);
  }
}
