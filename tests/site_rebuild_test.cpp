// Rebuilds of a served site end exactly as a fresh full run on the same proj/ would leave site/.
#include "site_rebuild.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "generator.h"
#include "prose_settings.h"
#include "scratch_run.h"

namespace fs = std::filesystem;

namespace {

// Every file below `folder` with its bytes; folders as names ending in "/".
std::map<std::string, std::string> contents(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    const std::string relative = entry.path().lexically_relative(folder).string();
    if (entry.is_directory()) {
      files[relative + "/"] = "";
    } else {
      std::ifstream file(entry.path(), std::ios::binary);
      files[relative] = std::string(std::istreambuf_iterator<char>(file), {});
    }
  }
  return files;
}

// One situation: the project before, and the edit after the first build.
struct rebuild_case {
  std::string name;
  std::vector<std::pair<std::string, std::string>> before;
  std::function<void(const fs::path& proj)> edit;
};

class SiteRebuild : public ScratchRun {
 protected:
  void SetUp() override {
    ScratchRun::SetUp();
    fs::create_directories(work / "proj");
    fresh = outside / "fresh";
    fs::create_directories(fresh);
    fs::create_symlink(work / "proj", fresh / "proj");
    saved_folder = fs::current_path();
    fs::current_path(work);
  }
  void TearDown() override {
    fs::current_path(saved_folder);
    ScratchRun::TearDown();
  }

  void build() {
    std::ios::sync_with_stdio(false);  // keeps the redirection below through the run
    std::ostringstream quiet;
    std::streambuf* saved = std::cout.rdbuf(quiet.rdbuf());
    EXPECT_EQ(build_and_remember(state, timestamp), 0);
    std::cout.rdbuf(saved);
  }

  // Rebuilds, told about `changed` when given, and compares site/ with a fresh run's.
  rebuild_report rebuild_and_compare(const std::optional<std::vector<fs::path>>& changed = {},
                                     const std::string& context = "") {
    if (changed) {
      state.changed = *changed;
      state.changed_known = true;
    }
    const rebuild_report report = rebuild_site(state, true, timestamp);
    fs::remove_all(fresh / "site");
    EXPECT_EQ(run_fresh() == 0, report.succeeded) << context;
    EXPECT_EQ(contents(work / "site"), contents(fresh / "site")) << context;
    return report;
  }

  // Builds each case's project, makes its edit, and rebuilds without a full run: site/ must
  // equal a fresh run's.
  void each_ends_as_a_fresh_run(const std::vector<rebuild_case>& cases) {
    for (const rebuild_case& situation : cases) {
      fs::remove_all(work / "proj");
      fs::remove_all(work / "site");
      write_project(situation.before);
      build();
      situation.edit(work / "proj");
      const rebuild_report report = rebuild_and_compare(std::nullopt, situation.name);
      EXPECT_FALSE(report.full) << situation.name;
    }
  }

  // Runs orvello in `fresh`, whose proj/ is a link to the edited one; its exit status.
  int run_fresh() {
    // The fresh run reads the same settings, or none when there are none.
    fs::remove(fresh / "orvello.toml");
    if (fs::exists(fs::symlink_status(work / "orvello.toml"))) {
      fs::create_symlink(work / "orvello.toml", fresh / "orvello.toml");
    }
    const pid_t child = fork();
    if (child == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      setenv("SOURCE_DATE_EPOCH", "0", 1);
      if (chdir(fresh.c_str()) == 0) {
        execl(ORVELLO_BINARY, "orvello", nullptr);
      }
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Makes `count` random edits of every kind, each page made of `lines`; after each one, site/ must
  // equal a fresh run's.
  void make_random_edits(unsigned seed, int count, const std::vector<std::string>& lines,
                         const std::vector<std::string>& pages);

  rebuild_state state;
  const std::string timestamp = footer_time_text(0);
  fs::path fresh;
  fs::path saved_folder;
};

void put(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

TEST_F(SiteRebuild, NamedSituationsEndAsAFreshRun) {
  const std::vector<rebuild_case> cases{
      {"carried title reaches later pages",
       {{"a/one.orv", "@title\n@@text First\n@end_title\n"}, {"a/two.orv", "@end_title\n"}},
       [](const fs::path& p) { put(p / "a/one.orv", "@title\n@@text Changed\n@end_title\n"); }},
      {"PDF count shifts later ids",
       {{"one.orv", "@end_pdf\n"}, {"b/two.orv", "@end_pdf\n"}, {"c/three.orv", "@end_pdf\n"}},
       [](const fs::path& p) { put(p / "one.orv", "@end_pdf\n@end_pdf\n"); }},
      {"favicon appears",
       {{"one.orv", "x\n"}, {"d/two.orv", "y\n"}},
       [](const fs::path& p) { put(p / "favicon.png", "png"); }},
      {"favicon vanishes",
       {{"one.orv", "x\n"}, {"favicon.png", "png"}},
       [](const fs::path& p) { fs::remove(p / "favicon.png"); }},
      {"command file replaces an asset",
       {{"x.htm", "asset"}},
       [](const fs::path& p) { put(p / "x.orv", "@end_title\n"); }},
      {"asset back after its command file goes",
       {{"x.htm", "asset"}, {"x.orv", "@end_title\n"}},
       [](const fs::path& p) { fs::remove(p / "x.orv"); }},
      {"two command files, one page",
       {{"x.orv", "@end_link\n"}},
       [](const fs::path& p) { put(p / "x.c", "@end_title\n"); }},
      {"folder renamed",
       {{"f/a.orv", "@end_title\n"}, {"f/g/b.png", "b"}},
       [](const fs::path& p) { fs::rename(p / "f", p / "h"); }},
      {"external file changes",
       {{"t.orv", "@text\n@@src notes.txt\n@end_text\n@end_pdf\n"},
        {"u.orv", "@end_text\n"},
        {"notes.txt", "one\n"}},
       [](const fs::path& p) { put(p / "notes.txt", "two\nthree\n"); }},
      {"folder replaced by a file",
       {{"f/a.orv", "x\n"}},
       [](const fs::path& p) {
         fs::remove_all(p / "f");
         put(p / "f", "now a file");
       }},
  };
  each_ends_as_a_fresh_run(cases);
}

TEST_F(SiteRebuild, SourcePagesAndMarkdownFilesOfASiteWithSettingsEndAsAFreshRun) {
  put(work / "orvello.toml", "");
  const std::vector<rebuild_case> cases{
      {"source file edited",
       {{"code/hello.c", "int a;\n"}},
       [](const fs::path& p) { put(p / "code/hello.c", "int b; // now\n"); }},
      {"source file added",
       {{"index.orv", "x\n"}},
       [](const fs::path& p) { put(p / "tool.cpp", "#include <map>\n"); }},
      {"source file removed",
       {{"index.orv", "x\n"}, {"tool.cpp", "int c;\n"}},
       [](const fs::path& p) { fs::remove(p / "tool.cpp"); }},
      {"Markdown file changes",
       {{"t.orv", "@markdown\n@@src notes.md\n@end_markdown\n"}, {"notes.md", "# One\n"}},
       [](const fs::path& p) { put(p / "notes.md", "# Two\n\n*three*\n"); }},
      {"Markdown block carried to a later page",
       {{"a.orv", "@markdown\n@@language c\n`int a`\n@end_markdown\n"},
        {"b.orv", "@end_markdown\n"}},
       [](const fs::path& p) { put(p / "a.orv", "@markdown\n`int b`\n@end_markdown\n"); }},
  };
  each_ends_as_a_fresh_run(cases);
  // The settings were read: only a site with settings copies a source file beside its page.
  write_project({{"hello.c", "int a;\n"}});
  build();
  EXPECT_TRUE(exists("site/hello.c"));
}

TEST_F(SiteRebuild, UntrustedRebuildIsFullAndRemovesStaleFiles) {
  write_project({{"a.orv", "@end_title\n"}, {"b.png", "b"}});
  build();
  put(work / "site/stale.htm", "left over");
  fs::remove(work / "proj/b.png");
  const rebuild_report report = rebuild_site(state, false, timestamp);
  EXPECT_TRUE(report.full);
  EXPECT_FALSE(exists("site/stale.htm"));
  EXPECT_FALSE(exists("site/b.png"));
  EXPECT_EQ(tree(work / "site"), (std::vector<std::string>{"a.htm", "main.css"}));
}

TEST_F(SiteRebuild, OneEditedPageIsTheOnlyOneCompiled) {
  for (int i = 0; i < 40; ++i) {
    const std::string number = std::to_string(i);
    put(work / "proj" / (number + ".orv"), "@title\n@@text " + number + "\n@end_title\n");
  }
  // Files changed within a few milliseconds of a look are compiled again, whatever their stamp.
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  build();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  put(work / "proj/7.orv", "@title\n@@text 7\n@end_title\nwords outside any block\n");
  const rebuild_report report = rebuild_and_compare(std::vector<fs::path>{"proj/7.orv"});
  EXPECT_EQ(report.pages_compiled, 1u);
  EXPECT_EQ(report.files_copied + report.files_removed, 0u);
}

// The lines that random pages are made of; `external` is a file outside proj/.
std::vector<std::string> page_lines(const std::string& external) {
  return {"@title",
          "@@text T",
          "@end_title",
          "@end_title",
          "@text",
          "words & <more>",
          "@@src notes.txt",
          "@@src " + external,
          "@end_text",
          "@end_text",
          "@pdf",
          "@@src d.pdf",
          "@end_pdf",
          "@end_pdf",
          "@code",
          "@@src ../notes.txt",
          "@end_code",
          "@link",
          "@@url u",
          "@end_link",
          "@end_image",
          "plain"};
}

void SiteRebuild::make_random_edits(unsigned seed, int count, const std::vector<std::string>& lines,
                                    const std::vector<std::string>& pages) {
  std::mt19937 random(seed);
  const auto pick = [&](const auto& list) { return list[random() % list.size()]; };
  const std::vector<std::string> folders{"", "a/", "a/b/", "c/"};
  const std::vector<std::string> assets{"p.htm", "i.png", "notes.txt", "q.htm"};
  const std::string external = (outside / "ext.txt").string();
  build();
  for (int edit = 0; edit < count; ++edit) {
    const fs::path proj = work / "proj";
    const fs::path folder = proj / pick(folders);
    std::vector<fs::path> changed;
    switch (random() % 8) {
      case 0:
      case 1:
      case 2: {
        std::string text;
        for (unsigned n = random() % 8; n > 0; --n) {
          text += pick(lines) + (random() % 2 ? "2\n" : "\n");
        }
        changed.push_back(folder / pick(pages));
        put(changed.back(), text);
        break;
      }
      case 3:
        changed.push_back(folder / pick(random() % 2 ? pages : assets));
        put(changed.back(), "asset " + std::to_string(edit));
        break;
      case 4:
        changed.push_back(folder / pick(random() % 2 ? pages : assets));
        fs::remove(changed.back());
        break;
      case 5:
        changed = {folder / pick(pages), proj / pick(folders) / pick(pages)};
        if (fs::exists(changed[0]) && fs::exists(changed[1].parent_path())) {
          fs::rename(changed[0], changed[1]);
        }
        break;
      case 6:
        changed = {proj / "c", proj / "d", proj / "a", proj / "a/b"};
        if (fs::exists(proj / "c") != fs::exists(proj / "d") && random() % 2) {
          const bool c = fs::exists(proj / "c");
          fs::rename(c ? proj / "c" : proj / "d", c ? proj / "d" : proj / "c");
        } else {
          fs::remove_all(proj / "c");
          fs::remove_all(proj / "d");
        }
        fs::create_directories(proj / "a/b");
        break;
      default:
        changed.push_back(random() % 2 ? proj / "favicon.png" : fs::path(external));
        if (fs::exists(changed.back()) && random() % 2) {
          fs::remove(changed.back());
        } else {
          put(changed.back(), "x" + std::to_string(edit));
        }
    }
    const bool told = random() % 2;
    rebuild_and_compare(told ? std::optional(changed) : std::nullopt,
                        "edit " + std::to_string(edit));
    if (HasFailure()) {
      return;
    }
  }
}

TEST_F(SiteRebuild, RandomEditsEndAsAFreshRun) {
  make_random_edits(12, 200, page_lines((outside / "ext.txt").string()),
                    {"p.orv", "q.orv", "p.c", "r.cpp", "s.orv"});
}

// With settings, a page's title, order and visibility reach the frames of other pages too.
TEST_F(SiteRebuild, RandomEditsWithSettingsEndAsAFreshRun) {
  put(work / "orvello.toml",
      "[site]\ntitle = \"S\"\nbase_url = \"https://example.org/\"\n[pages]\nextension = "
      "\"html\"\n");
  std::vector<std::string> lines = page_lines((outside / "ext.txt").string());
  for (const char* line :
       {"@page", "@end_page", "@@title P", "@@title Q", "@@order 1", "@@order 2", "@@menu false",
        "@@date 2026-01-02", "@@date 2025-03-04", "@@description D"}) {
    lines.insert(lines.end(), 2, line);
  }
  make_random_edits(21, 150, lines, {"p.orv", "q.orv", "index.orv", "p.c", "s.orv"});
}

TEST_F(SiteRebuild, ChangedSettingsRebuildInFull) {
  write_project({{"index.orv", "@page\n@@title Home\n@end_page\n"}, {"a/b.orv", "x\n"}});
  put(work / "orvello.toml", "[site]\ntitle = \"One\"\n");
  build();
  put(work / "orvello.toml", "[site]\ntitel = \"Two\"\n");
  state.changed = {"orvello.toml"};
  state.changed_known = true;
  const rebuild_report failed = rebuild_site(state, true, timestamp);
  EXPECT_TRUE(failed.full);
  EXPECT_FALSE(failed.succeeded);
  EXPECT_EQ(failed.problems, (std::vector<std::string>{
                                 "orvello.toml:2:1: error: unknown key 'titel' in [site]; did you "
                                 "mean 'title'?"}));
  for (const std::string text : {"[site]\ntitle = \"Two\"\n", "[pages]\nextension = \"html\"\n"}) {
    put(work / "orvello.toml", text);
    EXPECT_TRUE(rebuild_and_compare(std::vector<fs::path>{"orvello.toml"}, text).full) << text;
  }
  fs::remove(work / "orvello.toml");
  EXPECT_TRUE(rebuild_and_compare(std::vector<fs::path>{"orvello.toml"}).full);
}

}  // namespace
