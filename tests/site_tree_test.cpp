// The output tree: deleting the old site, mirroring folders, copying assets, the stylesheet.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "input_walk.h"
#include "scratch_run.h"

namespace fs = std::filesystem;

namespace {

std::string golden_stylesheet() {
  std::ifstream file(ORVELLO_TEST_DATA "/main.css", std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::size_t count_lines(const std::string& text, bool (*matches)(const std::string&)) {
  const std::vector<std::string> lines = lines_of(text);
  return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), matches));
}

std::vector<std::string> lines_starting(const std::string& text, std::string_view prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines_of(text)) {
    if (line.starts_with(prefix)) {
      found.push_back(line);
    }
  }
  return found;
}

bool contains_line(const std::string& text, const std::string& line) {
  return text.find(line + "\n") != std::string::npos;
}

}  // namespace

using SiteTree = ScratchRun;

TEST_F(SiteTree, MirrorsEveryFolderOnceParentsFirst) {
  write_project({{"a/b/page.orv", ""}, {"c/pic.png", "x"}, {"x/y/z/.keep", ""}});
  fs::create_directories(work / "proj/empty");
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status) << result.err;
  std::vector<std::string> created = lines_starting(result.out, "Created: ");
  const auto position = [&](const std::string& line) {
    return std::find(created.begin(), created.end(), line) - created.begin();
  };
  EXPECT_LT(position("Created: site/a"), position("Created: site/a/b"));
  EXPECT_LT(position("Created: site/x"), position("Created: site/x/y"));
  EXPECT_LT(position("Created: site/x/y"), position("Created: site/x/y/z"));
  std::sort(created.begin(), created.end());
  EXPECT_EQ((std::vector<std::string>{"Created: site/a", "Created: site/a/b", "Created: site/c",
                                      "Created: site/empty", "Created: site/x", "Created: site/x/y",
                                      "Created: site/x/y/z"}),
            created);
  EXPECT_TRUE(fs::is_directory(work / "site/empty"));
}

TEST_F(SiteTree, EmptyProjGivesSiteWithStylesheetOnly) {
  fs::create_directories(work / "proj");
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status);
  EXPECT_TRUE(lines_starting(result.out, "Created: ").empty());
  EXPECT_TRUE(lines_starting(result.out, "Copied asset: ").empty());
  EXPECT_EQ(std::vector<std::string>{"main.css"}, tree(work / "site"));
}

TEST_F(SiteTree, CopiesEveryFileButCommandFiles) {
  write_project({{"index.orv", ""},
                 {"img/logo.png", "logo bytes"},
                 {"css/extra.css", "p {}"},
                 {"tool.c", ""},
                 {"src/main.cpp", ""},
                 {"notes.ORV", "upper"},
                 {"Main.CPP", "upper"},
                 {"README", "readme"},
                 {".c", "dot"},
                 {".orv", "dot"},
                 {"archive.tar.gz", "gz"},
                 {"page.old.orv", ""},
                 {"header.h", "h"}});
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status) << result.err;
  std::vector<std::string> copied = lines_starting(result.out, "Copied asset: ");
  std::sort(copied.begin(), copied.end());
  EXPECT_EQ((std::vector<std::string>{
                "Copied asset: .c -> site/.c",
                "Copied asset: .orv -> site/.orv",
                "Copied asset: Main.CPP -> site/Main.CPP",
                "Copied asset: README -> site/README",
                "Copied asset: archive.tar.gz -> site/archive.tar.gz",
                "Copied asset: css/extra.css -> site/css/extra.css",
                "Copied asset: header.h -> site/header.h",
                "Copied asset: img/logo.png -> site/img/logo.png",
                "Copied asset: notes.ORV -> site/notes.ORV",
            }),
            copied);
  EXPECT_EQ("logo bytes", read("site/img/logo.png"));
  EXPECT_EQ((std::vector<std::string>{".c", ".orv", "Main.CPP", "README", "archive.tar.gz", "css/",
                                      "css/extra.css", "header.h", "img/", "img/logo.png",
                                      "index.htm", "main.css", "notes.ORV", "page.old.htm", "src/",
                                      "src/main.htm", "tool.htm"}),
            tree(work / "site"));
}

TEST_F(SiteTree, CopiesBinaryAssetsByteForByte) {
  std::string bytes;
  for (int i = 0; i < 70000; ++i) {
    bytes += static_cast<char>((i * 7919) % 256);
  }
  write_project({{"media/blob.bin", bytes}});
  ASSERT_EQ(0, run().exit_status);
  EXPECT_EQ(bytes, read("site/media/blob.bin"));
}

TEST_F(SiteTree, StylesheetIsWrittenByteForByte) {
  fs::create_directories(work / "proj");
  ASSERT_EQ(0, run().exit_status);
  const std::string css = read("site/main.css");
  EXPECT_EQ(golden_stylesheet(), css);
  EXPECT_EQ(193, std::count(css.begin(), css.end(), '\n'));
  EXPECT_EQ(21u, count_lines(css, [](const std::string& l) { return l.ends_with(" {"); }));
  EXPECT_EQ(133u, count_lines(css, [](const std::string& l) { return l.starts_with("  "); }));
  EXPECT_TRUE(css.starts_with("/* Generated by Orvello */\n\nbody {\n"));
  EXPECT_TRUE(css.ends_with(".code-line-content {\n  padding: 0px 12px;\n}\n\n"));
  // Rules that run on without an empty line between them.
  EXPECT_NE(std::string::npos, css.find("}\n.fixed-footer::-webkit-scrollbar-track {"));
  EXPECT_NE(std::string::npos, css.find("}\n.fixed-footer::-webkit-scrollbar-thumb {"));
  EXPECT_NE(std::string::npos, css.find("}\n\n.title {"));
  EXPECT_NE(std::string::npos, css.find("}\n.text-line-content {"));
  EXPECT_NE(std::string::npos, css.find("}\n.code-line-number {"));
  EXPECT_NE(std::string::npos, css.find("}\n.code-line-content {"));
  ASSERT_EQ(0, run().exit_status);
  EXPECT_EQ(css, read("site/main.css"));
}

TEST_F(SiteTree, ProjectStylesheetAtTheTopIsReplacedButNotBelow) {
  write_project({{"main.css", "/* mine */"}, {"docs/main.css", "/* docs */"}});
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status);
  EXPECT_TRUE(contains_line(result.out, "Copied asset: main.css -> site/main.css"));
  EXPECT_EQ(golden_stylesheet(), read("site/main.css"));
  EXPECT_EQ("/* docs */", read("site/docs/main.css"));
}

TEST_F(SiteTree, FolderNamedMainCssFailsStepFour) {
  fs::create_directories(work / "proj/main.css");
  write_project({{"index.orv", ""}});
  const run_result result = run();
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ("Error: Could not create main.css at site/main.css\n", result.err);
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 4/5\n"));
  EXPECT_FALSE(exists("site/index.htm"));
}

TEST_F(SiteTree, FullDiskWhileWritingStylesheetFailsStepFour) {
  write_project({{"small.txt", "fits"}, {"index.orv", ""}});
  const run_result result = run(with_file_size_limit(1024));
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ("Error: Could not write main.css at site/main.css\n", result.err);
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 4/5\n"));
  EXPECT_FALSE(exists("site/index.htm"));
}

TEST_F(SiteTree, FullDiskWhileCopyingAnAssetFailsStepThreeAfterTheOtherAssets) {
  write_project(
      {{"big.bin", std::string(4096, 'x')}, {"a/small.txt", "fits"}, {"b/small.txt", "too"}});
  const run_result result = run(with_file_size_limit(1024));
  EXPECT_EQ(1, result.exit_status);
  EXPECT_TRUE(result.err.starts_with("Error copying files: ")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("[proj/big.bin] [site/big.bin]")) << result.err;
  EXPECT_EQ("fits", read("site/a/small.txt"));
  EXPECT_EQ("too", read("site/b/small.txt"));
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] FAILED Step 3/5\n"));
}

TEST_F(SiteTree, LinksLeadingOutOfProjKeepTheirOwnPlaceAndNothingIsWrittenOutside) {
  std::ofstream(outside / "secret.txt") << "outside file";
  std::ofstream(outside / "page.orv") << "@title\n@end_title\n";
  fs::create_directories(outside / "dir/sub");
  std::ofstream(outside / "dir/inner.txt") << "inner";
  fs::create_directories(work / "proj/docs");
  fs::create_symlink(outside / "secret.txt", work / "proj/docs/secret.txt");
  fs::create_symlink(outside / "page.orv", work / "proj/docs/linked.orv");
  fs::create_symlink(outside / "dir", work / "proj/linkdir");
  fs::create_symlink("../../outside/secret.txt", work / "proj/relative.txt");
  const std::vector<std::string> outside_before = tree(outside);

  const run_result result = run();
  ASSERT_EQ(0, result.exit_status) << result.err;
  EXPECT_EQ("outside file", read("site/docs/secret.txt"));
  EXPECT_EQ("outside file", read("site/relative.txt"));
  EXPECT_TRUE(contains_line(result.out, "Copied asset: docs/secret.txt -> site/docs/secret.txt"));
  EXPECT_TRUE(contains_line(result.out, "Created: site/linkdir"));
  EXPECT_TRUE(contains_line(result.out, "Compiled: docs/linked.orv -> site/docs/linked.htm"));
  EXPECT_NE(std::string::npos, read("site/docs/linked.htm").find("href=\"../main.css\""));
  EXPECT_EQ((std::vector<std::string>{"docs/", "docs/linked.htm", "docs/secret.txt", "linkdir/",
                                      "main.css", "relative.txt"}),
            tree(work / "site"));
  EXPECT_EQ(outside_before, tree(outside));
  EXPECT_EQ((std::vector<std::string>{"outside/", "work/"}), [&] {
    std::vector<std::string> top;
    for (const auto& entry : fs::directory_iterator(root)) {
      top.push_back(entry.path().filename().string() + "/");
    }
    std::sort(top.begin(), top.end());
    return top;
  }());
}

TEST_F(SiteTree, LinksInsideProjArePlacedAtTheirTarget) {
  write_project({{"real/pic.png", "picture"}});
  fs::create_symlink("real/pic.png", work / "proj/alias.png");
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status) << result.err;
  EXPECT_EQ(2u,
            lines_starting(result.out, "Copied asset: real/pic.png -> site/real/pic.png").size());
  EXPECT_FALSE(exists("site/alias.png"));
  EXPECT_EQ("picture", read("site/real/pic.png"));
}

// Warnings about links that lead nowhere are complete at once, while an asset beside them may
// still be gathered for a copying thread: more warnings than the console holds must not wait for
// it.
TEST_F(SiteTree, ManyBrokenLinksBesideAssetsDoNotStallTheCopy) {
  constexpr int links = 1000;
  constexpr int assets = 8;
  fs::create_directories(work / "proj");
  for (int i = 0; i < links; ++i) {
    fs::create_symlink(outside / "missing", work / "proj" / ("link" + std::to_string(i) + ".png"));
    if (i % (links / assets) == 0) {
      write("proj/asset" + std::to_string(i) + ".png", "picture");
    }
  }
  const run_result result = run();
  ASSERT_EQ(0, result.exit_status) << result.err.substr(0, 200);
  EXPECT_EQ(static_cast<std::size_t>(links), lines_starting(result.err, "Warning: Skipped").size());
  EXPECT_EQ(static_cast<std::size_t>(assets), lines_starting(result.out, "Copied asset: ").size());
}

namespace {

// Every entry a walk of `tree` visits, as "kind path", in order.
std::vector<std::string> walked(const input_tree& tree, walk_memory memory) {
  std::vector<std::string> entries;
  const bool complete = walk_input(
      tree, "",
      [&](const walked_entry& entry) {
        entries.push_back(std::to_string(static_cast<int>(entry.kind)) + " " +
                          std::string(entry.path));
      },
      memory);
  EXPECT_TRUE(complete);
  return entries;
}

}  // namespace

// The later steps of a run walk what step 2 kept of proj/ instead of reading it again; they must
// meet the very entries a walk of the folder meets, whatever the names and however many.
TEST_F(SiteTree, AKeptWalkMeetsWhatTheFolderHolds) {
  write("proj/e", "");  // names like the marks of the kept listing
  write("proj/\x01\x02", "");
  write("proj/line\nbreak/deep/er/file.orv", "");
  fs::create_directories(work / "proj/empty/also empty");
  for (int i = 0; i < 300; ++i) {  // past one piece of the listing
    write("proj/many/" + std::to_string(i) + std::string(240, 'n'), "");
  }
  fs::create_symlink("many", work / "proj/link");
  for (const std::string& folder : {(work / "proj").string(), (work / "proj/").string()}) {
    const input_tree tree = open_input_tree(folder);
    walk_listing listing;
    const std::vector<std::string> read = walked(tree, {&listing, nullptr});
    ASSERT_TRUE(listing.complete);
    EXPECT_GT(listing.pieces.size(), 1u);
    EXPECT_EQ(read.size(), 310u);
    EXPECT_EQ(read, walked(tree, {nullptr, &listing})) << folder;
  }
}

// A listing that would outgrow its ceiling is given up, and a later walk reads the folder again.
TEST_F(SiteTree, AListingPastItsCeilingIsGivenUp) {
  fs::create_directories(work / "proj");
  for (unsigned i = 0; i < 18'000; ++i) {  // about 4.5 MB of names that share little
    const std::string name = std::to_string(i * 2654435761u) + std::string(240, 'n');
    std::ofstream(work / "proj" / name).put('x');
  }
  const input_tree tree = open_input_tree((work / "proj").string());
  walk_listing listing;
  const std::vector<std::string> read = walked(tree, {&listing, nullptr});
  EXPECT_FALSE(listing.complete);
  EXPECT_TRUE(listing.pieces.empty());
  EXPECT_EQ(read.size(), 18'000u);
  EXPECT_EQ(read, walked(tree, {nullptr, &listing}));
}
