// The helper threads beside the page compiler change how fast a run is, never what it makes: the
// same site, the same console lines and the same exit status as on one core, where none starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "scratch_run.h"

namespace fs = std::filesystem;

namespace {

// `prefix`, the number `i` and `suffix`.
std::string numbered(std::string prefix, int i, std::string_view suffix) {
  prefix += std::to_string(i);
  prefix += suffix;
  return prefix;
}

// Standard output without the line that tells how long the run took.
std::string without_timing(const std::string& out) {
  std::string kept;
  for (const std::string& line : lines_of(out)) {
    if (!line.starts_with("[ORVELLO] Generated site in ")) {
      kept += line + "\n";
    }
  }
  return kept;
}

class OneThreadIdentity : public ScratchRun {
 protected:
  // Everything a run left: its console, its status and every file of site/ with its bytes.
  struct outcome {
    run_result console;
    std::map<std::string, std::string> site;
  };

  outcome run_once(bool one_core) {
    fs::remove_all(work / "site");
    run_options options;
    options.one_core = one_core;
    options.env = {"SOURCE_DATE_EPOCH=1700000000"};
    outcome result{run(options), {}};
    for (const std::string& path : tree(work / "site")) {
      result.site[path] = path.ends_with('/') ? "" : read("site/" + path);
    }
    return result;
  }

  void expect_same_as_on_one_core() {
    const outcome threaded = run_once(false);
    const outcome alone = run_once(true);
    EXPECT_EQ(alone.console.exit_status, threaded.console.exit_status);
    EXPECT_TRUE(without_timing(alone.console.out) == without_timing(threaded.console.out));
    EXPECT_TRUE(alone.console.err == threaded.console.err);
    EXPECT_EQ(alone.site.size(), threaded.site.size());
    EXPECT_TRUE(alone.site == threaded.site);
    EXPECT_FALSE(threaded.site.empty());
  }
};

TEST_F(OneThreadIdentity, Showcase) {
  fs::copy(ORVELLO_SHOWCASE "/proj", work / "proj", fs::copy_options::recursive);
  expect_same_as_on_one_core();
}

// Pages that replace assets and each other, odd names, links that lead nowhere, external files
// that are missing or are pages of the run itself.
TEST_F(OneThreadIdentity, HostileProject) {
  std::vector<std::pair<std::string, std::string>> files{
      {"a.orv", "@title\nfirst\n@end_title\n"},
      {"a.c", "@title\nsecond\n@end_title\n"},
      {"b.htm", "an asset a page replaces"},
      {"b.orv", "@text\n@@src missing.txt\n@end_text\n"},
      {"odd name é.orv", "@code\n@@src ../site/a.htm\n@end_code\n"},
      {"deep/x/y.orv", "@text\n@@src ../../site/odd name é.htm\n@end_text\n@end_text\n"},
      {"deep/x/pic.png", "not a picture"},
  };
  for (int i = 0; i < 40; ++i) {
    files.push_back({numbered("many/p", i, ".orv"), numbered("@text\n@@src ../../site/many/p",
                                                             (i + 7) % 40, ".htm\n@end_text\n")});
  }
  write_project(files);
  fs::create_symlink(outside / "nowhere.orv", work / "proj/dangling.orv");
  fs::create_symlink(outside / "nowhere.png", work / "proj/dangling.png");
  expect_same_as_on_one_core();
}

// Command files and folders reached through links, inside and outside proj/.
TEST_F(OneThreadIdentity, ProjectOfLinks) {
  write_project({{"real/page.orv", "@title\nreal\n@end_title\n"},
                 {"real/pic.png", "picture"},
                 {"index.orv", "@link\n@@url real/page.htm\n@@text Real\n@end_link\n"}});
  fs::create_directories(outside / "shared");
  std::ofstream(outside / "shared/out.orv") << "@title\noutside\n@end_title\n";
  fs::create_symlink("real/page.orv", work / "proj/alias.orv");
  fs::create_symlink("real", work / "proj/linked-folder");
  fs::create_symlink(outside / "shared", work / "proj/shared");
  fs::create_symlink(outside / "shared/out.orv", work / "proj/out-link.orv");
  expect_same_as_on_one_core();
}

// Settings carried from page to page by closing lines without their opening, and the PDF counter.
TEST_F(OneThreadIdentity, ThousandPagesWithCarriedSettingsAndPdfCounts) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 1000; ++i) {
    std::ostringstream page;
    page << "@title\n@@size " << 10 + i % 7 << "\nPage " << i << "\n@end_title\n";
    if (i % 3 == 0) {
      page << "@text\n@@color #" << 100 + i % 900 << "\nline of page " << i << "\n@end_text\n";
    } else {
      page << "@end_text\n";  // the last text block of an earlier page again
    }
    if (i % 5 == 0) {
      page << "@pdf\n@@src doc" << i << ".pdf\n@end_pdf\n";
    } else if (i % 5 == 1) {
      page << "@end_pdf\n";
    }
    files.push_back({numbered(numbered("f", i / 100, "/p"), i, ".orv"), page.str()});
  }
  write_project(files);
  expect_same_as_on_one_core();
}

}  // namespace
