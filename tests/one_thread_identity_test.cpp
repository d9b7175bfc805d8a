// The helper threads beside the page compiler, and the threads that compile pages from the starts
// worked out in walk order, change how fast a run is, never what it makes: the same site, the same
// console lines and the same exit status as on one core, where none starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "generator.h"
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

  // A run of the program, or with `compilers` a run in a process of this test that compiles pages
  // on that many threads whatever the cores.
  outcome run_once(bool one_core, std::optional<unsigned> compilers = std::nullopt) {
    fs::remove_all(work / "site");
    run_options options;
    options.one_core = one_core;
    options.env = {"SOURCE_DATE_EPOCH=1700000000"};
    if (compilers) {
      options.in_process = [compilers] {
        return run_generator(footer_time_text(1700000000), nullptr, compilers);
      };
    }
    outcome result{run(options), {}};
    for (const std::string& path : tree(work / "site")) {
      result.site[path] = path.ends_with('/') ? "" : read("site/" + path);
    }
    return result;
  }

  void expect_same_as_on_one_core() {
    const outcome alone = run_once(true);
    const auto expect_same = [&](const outcome& threaded, const std::string& how) {
      EXPECT_EQ(alone.console.exit_status, threaded.console.exit_status) << how;
      EXPECT_TRUE(without_timing(alone.console.out) == without_timing(threaded.console.out)) << how;
      EXPECT_TRUE(alone.console.err == threaded.console.err) << how;
      EXPECT_EQ(alone.site.size(), threaded.site.size()) << how;
      EXPECT_TRUE(alone.site == threaded.site) << how;
      EXPECT_FALSE(threaded.site.empty()) << how;
    };
    expect_same(run_once(false), "on every core");
    for (const unsigned compilers : {1u, 2u, 4u}) {
      expect_same(run_once(false, compilers), std::to_string(compilers) + " compiling threads");
    }
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

// Pages of one place from three command files each, and pages that replace assets, far apart in
// the walk: whichever file a helper reaches first, the first in walk order creates the page, and
// the later ones warn and replace it in walk order.
TEST_F(OneThreadIdentity, PagesThatShareAPlace) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 60; ++i) {
    for (const std::string_view extension : {".orv", ".c", ".cpp"}) {
      files.push_back({numbered("x", i, extension),
                       numbered("@title\n", i, std::string(extension) + "\n@end_title\n")});
    }
    if (i % 4 == 0) {
      files.push_back({numbered("x", i, ".htm"), "an asset a page replaces"});
    }
  }
  write_project(files);
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

// Command files too large to read whole, streamed at their turn among pages compiled ahead, where
// closing lines and PDF blocks carry settings and counts from page to page across them.
TEST_F(OneThreadIdentity, LargeCommandFilesAmongCarriedSettings) {
  const std::string line(80, 'x');
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 150; ++i) {
    std::string page = numbered("@title\nPage ", i, "\n@end_title\n");
    if (i % 10 == 5) {
      page += "@code\n";
      for (int row = 0; row < 900; ++row) {  // past 64 KiB
        page += line + "\n";
      }
      page += "@end_code\n";
    } else if (i % 7 == 0) {
      page += numbered("@text\n@@color #", 100 + i, "\nline\n@end_text\n");
    } else if (i % 3 == 0) {
      page += "@end_text\n";
    }
    page += i % 11 == 0 ? numbered("@pdf\n@@src d", i, ".pdf\n@end_pdf\n") : "";
    files.push_back({numbered("p", 1000 + i, ".orv"), page});
  }
  write_project(files);
  expect_same_as_on_one_core();
}

// Where the highlighter cannot be loaded (the program copied where it is not), the warning comes
// once, with the first page in walk order that asked for colour, though a helper thread or the
// findings check may load it first and other pages ahead of it are compiled again at their turn.
TEST_F(OneThreadIdentity, HighlighterWarningComesWithTheFirstPageThatAsks) {
  write("orvello.toml", "");
  std::vector<std::pair<std::string, std::string>> files;
  const std::map<int, std::string> asking{
      {200, "@code\n@@language cpp\nint x;\n@end_code\n@end_text\n"},  // stops ahead
      {201, "@end_text\n"},  // stops ahead as well, after the page that asked
      {300, "@markdown\n@@language python\n`x = 1`\n@end_markdown\n"}};
  for (int i = 100; i < 400; ++i) {
    files.push_back(
        {numbered("p", i, ".orv"),
         asking.contains(i) ? asking.at(i) : numbered("@title\n@@text ", i, "\n@end_title\n")});
    if (i % 10 == 0) {  // each replaced with a warning, to place the pages on standard error
      files.push_back({numbered("p", i, ".htm"), "an asset a page replaces"});
    }
  }
  write_project(files);
  const fs::path alone = root / "alone/bin/orvello";
  fs::create_directories(alone.parent_path());
  fs::copy_file(ORVELLO_BINARY, alone);
  run_options options;
  options.program = alone;
  options.one_core = true;
  const run_result on_one_core = run(options);
  const std::vector<std::string> lines = lines_of(on_one_core.err);
  const auto warning = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with(
        "Warning: listings are not coloured: the highlighter could not be "
        "loaded (");
  });
  ASSERT_NE(lines.end(), warning) << on_one_core.err;
  ASSERT_NE(lines.begin(), warning) << on_one_core.err;
  EXPECT_TRUE(warning[-1].ends_with(" proj/p200.orv")) << on_one_core.err;
  EXPECT_EQ(1u, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
              return line.find("not coloured") != std::string::npos;
            }));
  options.one_core = false;
  for (int attempt = 0; attempt < 5; ++attempt) {
    fs::remove_all(work / "site");
    const run_result threaded = run(options);
    EXPECT_EQ(on_one_core.exit_status, threaded.exit_status) << attempt;
    EXPECT_EQ(on_one_core.err, threaded.err) << attempt;
  }
}

}  // namespace
