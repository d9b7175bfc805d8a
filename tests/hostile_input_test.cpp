// Projects copied from elsewhere: odd links, names, contents and permissions, and full disks.
// Whatever the input, the run ends and nothing outside the working folder changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "scratch_run.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

bool contains_line(const std::string& text, const std::string& line) {
  return text.find(line + "\n") != std::string::npos;
}

class HostileInput : public ScratchRun {
 protected:
  run_result run_contained(const run_options& options = {}) {
    const std::vector<std::string> outside_before = tree(outside);
    run_result result = run(options);
    EXPECT_EQ(outside_before, tree(outside));
    std::vector<std::string> top;
    for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
      if (entry.path().filename() != "bin") {  // where unprivileged runs start the program
        top.push_back(entry.path().filename().string());
      }
    }
    std::sort(top.begin(), top.end());
    EXPECT_EQ((std::vector<std::string>{"outside", "work"}), top);
    return result;
  }
};

}  // namespace

TEST_F(HostileInput, LinksThatLeadNowhereAreSkippedWithAWarning) {
  write_project({{"index.orv", ""}});
  fs::create_symlink("missing.png", work / "proj/dangling.png");
  fs::create_symlink("loop.orv", work / "proj/loop.orv");
  fs::create_directories(work / "proj/docs");
  fs::create_symlink("../nowhere", work / "proj/docs/folder-link");
  const run_result result = run_contained();
  EXPECT_EQ(0, result.exit_status);
  std::vector<std::string> warnings = lines_of(result.err);
  std::sort(warnings.begin(), warnings.end());
  EXPECT_EQ((std::vector<std::string>{
                "Warning: Skipped the symbolic link proj/dangling.png, which cannot be followed: "
                "No such file or directory",
                "Warning: Skipped the symbolic link proj/docs/folder-link, which cannot be "
                "followed: No such file or directory",
                "Warning: Skipped the symbolic link proj/loop.orv, which cannot be followed: Too "
                "many levels of symbolic links"}),
            warnings);
  EXPECT_EQ((std::vector<std::string>{"docs/", "index.htm", "main.css"}), tree(work / "site"));
}

TEST_F(HostileInput, SiteLinkedToAFolderIsReplacedAndTheFolderSurvives) {
  fs::create_directories(outside / "kept");
  std::ofstream(outside / "kept/precious.txt") << "keep me";
  fs::create_symlink(outside / "kept", work / "site");
  write_project({{"index.orv", ""}});
  const run_result result = run_contained();
  EXPECT_EQ(0, result.exit_status) << result.err;
  EXPECT_FALSE(fs::is_symlink(work / "site"));
  EXPECT_EQ((std::vector<std::string>{"index.htm", "main.css"}), tree(work / "site"));
}

TEST_F(HostileInput, ProjLinkedToAFolderIsReadThroughTheLink) {
  fs::create_directories(outside / "real/img");
  std::ofstream(outside / "real/index.orv") << "@title\n@end_title\n";
  std::ofstream(outside / "real/img/a.png") << "a";
  fs::create_symlink("img/a.png", outside / "real/alias.png");
  fs::create_symlink(outside / "real", work / "proj");
  const run_result result = run_contained();
  EXPECT_EQ(0, result.exit_status) << result.err;
  EXPECT_TRUE(contains_line(result.out, "Created: site/img"));
  EXPECT_TRUE(contains_line(result.out, "Compiled: index.orv -> site/index.htm"));
  EXPECT_EQ((std::vector<std::string>{"img/", "img/a.png", "index.htm", "main.css"}),
            tree(work / "site"));
}

TEST_F(HostileInput, OddNamesArePlacedAsTheyAre) {
  const std::string long_name(251, 'n');  // with ".orv" or ".htm", the longest name allowed
  std::string deep = "proj";
  for (int level = 0; level < 200; ++level) {
    deep += "/d";
  }
  write_project({{"my page.orv", ""},
                 {"a folder/x y.png", "x"},
                 {"caf\xe9.orv", ""},
                 {"\xff\xfe.png", "ff"},
                 {"-rf.orv", ""},
                 {"--help.png", "h"},
                 {long_name + ".orv", ""},
                 {long_name + ".png", "l"}});
  write(deep + "/page.orv", "");
  const run_result result = run_contained();
  EXPECT_EQ(0, result.exit_status) << result.err;
  for (const std::string& page : std::vector<std::string>{"my page", "caf\xe9", "-rf", long_name}) {
    EXPECT_TRUE(exists("site/" + page + ".htm")) << page;
  }
  for (const char* asset : {"a folder/x y.png", "\xff\xfe.png", "--help.png"}) {
    EXPECT_EQ(read(std::string("proj/") + asset), read(std::string("site/") + asset)) << asset;
  }
  EXPECT_TRUE(exists("site/" + long_name + ".png"));
  std::string prefix;
  for (int level = 0; level < 200; ++level) {
    prefix += "../";
  }
  const std::string deep_page = read("site" + deep.substr(4) + "/page.htm");
  EXPECT_NE(std::string::npos, deep_page.find("href=\"" + prefix + "main.css\""));
}

TEST_F(HostileInput, PageNameTooLongIsReportedAndTheRestIsBuilt) {
  const std::string name = std::string(252, 'c') + ".c";  // its page name would be 256 bytes
  write_project({{name, ""}, {"index.orv", ""}});
  const run_result result = run_contained();
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ("Error: Could not create output HTM site/" + name.substr(0, 252) + ".htm\n",
            result.err);
  EXPECT_TRUE(exists("site/index.htm"));
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 5/5\n"));
}

TEST_F(HostileInput, StrangeContentsGiveWholePages) {
  std::mt19937 random(42);
  std::string garbage;
  for (int i = 0; i < 200000; ++i) {
    garbage += static_cast<char>(random() % 256);
  }
  write_project({{"huge.orv", std::string(50 * 1024 * 1024, 'x')},
                 {"garbage.orv", garbage + "\n@end_code\n@end_text\n@end_pdf\n"},
                 {"nul.orv", "@title\n@@text a\0b\n@end_title\n"s}});
  const run_result result = run_contained();
  EXPECT_EQ(0, result.exit_status) << result.err;
  EXPECT_EQ("", page_body(read("site/huge.htm")));
  const std::string page = read("site/garbage.htm");
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n"));
  EXPECT_TRUE(page.ends_with("</div>\n</body>\n</html>\n"));
  EXPECT_EQ("  <h1 class=\"title\" style=\"font-size: 2.00rem; color: gray;\">a\0b  </h1>\n"s,
            page_body(read("site/nul.htm")));
}

// Two unreadable entries: both are reported only if the walk goes on after the first.
TEST_F(HostileInput, UnreadableAssetsAreReportedAndTheOtherAssetsAreCopied) {
  write_project({{"a.png", "a"}, {"b/b.png", "b"}, {"c/one.png", "1"}, {"two.png", "2"}});
  fs::permissions(work / "proj/a.png", fs::perms::none);
  fs::permissions(work / "proj/b/b.png", fs::perms::none);
  const run_result result = run_contained(as_nobody());
  EXPECT_EQ(1, result.exit_status);
  std::vector<std::string> errors = lines_of(result.err);
  std::sort(errors.begin(), errors.end());
  EXPECT_EQ((std::vector<std::string>{"Error copying files: filesystem error: cannot copy file: "
                                      "Permission denied [proj/a.png] [site/a.png]",
                                      "Error copying files: filesystem error: cannot copy file: "
                                      "Permission denied [proj/b/b.png] [site/b/b.png]"}),
            errors);
  EXPECT_EQ("1", read("site/c/one.png"));
  EXPECT_EQ("2", read("site/two.png"));
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 3/5\n"));
}

TEST_F(HostileInput, UnreadableFoldersAreReportedAndTheOtherFoldersAreMirrored) {
  write_project({{"locked/inner/x.png", "x"}, {"deep/locked/y.png", "y"}, {"open/z.png", "z"}});
  fs::permissions(work / "proj/locked", fs::perms::none);
  fs::permissions(work / "proj/deep/locked", fs::perms::none);
  const run_result result = run_contained(as_nobody());
  EXPECT_EQ(1, result.exit_status);
  std::vector<std::string> errors = lines_of(result.err);
  std::sort(errors.begin(), errors.end());
  EXPECT_EQ((std::vector<std::string>{"File system error: filesystem error: cannot read folder: "
                                      "Permission denied [proj/deep/locked]",
                                      "File system error: filesystem error: cannot read folder: "
                                      "Permission denied [proj/locked]"}),
            errors);
  EXPECT_TRUE(fs::is_directory(work / "site/open"));
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 2/5\n"));
}

TEST_F(HostileInput, SiteThatCannotBeRemovedFailsStepOne) {
  write_project({{"index.orv", ""}});
  write("site/owned/by-root.txt", "stays");
  const run_result result = run_contained(as_nobody());
  EXPECT_EQ(1, result.exit_status);
  EXPECT_TRUE(result.err.starts_with("Error deleting directory: ")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Permission denied")) << result.err;
  EXPECT_EQ("stays", read("site/owned/by-root.txt"));
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 1/5\n"));
}
