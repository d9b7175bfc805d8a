// Sites with settings: reading orvello.toml, the map and frame of the pages, and whole runs
// through the real binary.
#include "site_settings.h"

#include <gtest/gtest.h>

#include <array>
#include <latch>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "page_frame.h"
#include "scratch_run.h"
#include "site_feeds.h"
#include "site_map.h"

namespace {

// --- Reading orvello.toml ---------------------------------------------------------------------

TEST(SiteSettings, EmptyFileGivesTheDefaults) {
  const settings_reading reading = parse_site_settings("", "proj");
  ASSERT_TRUE(reading.settings);
  EXPECT_EQ(reading.settings->language, "en");
  EXPECT_EQ(reading.settings->page_extension, ".htm");
  EXPECT_EQ(reading.settings->theme, "auto");
  EXPECT_TRUE(reading.settings->footer_date);
  EXPECT_TRUE(reading.settings->menu);
}

TEST(SiteSettings, ReadsEveryKey) {
  const settings_reading reading = parse_site_settings(
      "[site]\ntitle = \"T\"\nlanguage = \"fr-CA\"\ndescription = \"D\"\n"
      "base_url = \"https://example.org/x\"\n[pages]\nextension = \"html\"\n"
      "[style]\ntheme = \"dark\"\n[footer]\ntext = \"F\"\ndate = false\n"
      "[navigation]\nmenu = false\nbreadcrumbs = false\npage_turn = false\n",
      "proj");
  ASSERT_TRUE(reading.settings) << reading.errors.front();
  const site_settings& settings = *reading.settings;
  EXPECT_EQ(settings.title, "T");
  EXPECT_EQ(settings.language, "fr-CA");
  EXPECT_EQ(settings.description, "D");
  EXPECT_EQ(settings.base_url, "https://example.org/x/");
  EXPECT_EQ(settings.page_extension, ".html");
  EXPECT_EQ(settings.theme, "dark");
  EXPECT_EQ(settings.footer_text, "F");
  EXPECT_FALSE(settings.footer_date || settings.menu || settings.breadcrumbs || settings.page_turn);
}

TEST(SiteSettings, ReportsEachMistakeAtItsPlace) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"[site\n",
       "orvello.toml:1:6: error: Error while parsing table header: expected ']', "
       "saw '\\n'"},
      {"[site]\ntitel = \"x\"\n",
       "orvello.toml:2:1: error: unknown key 'titel' in [site]; did you mean 'title'?"},
      {"[stlye]\n", "orvello.toml:1:2: error: unknown table [stlye]; did you mean [style]?"},
      {"[extras]\n", "orvello.toml:1:2: error: unknown table [extras]"},
      {"site = 1\n", "orvello.toml:1:1: error: [site] must be a table, not a whole number"},
      {"[site]\ntitle = 3\n",
       "orvello.toml:2:1: error: [site] title must be a string, not a whole number"},
      {"[footer]\ndate = \"no\"\n",
       "orvello.toml:2:1: error: [footer] date must be true or false, not a string"},
      {"[site]\nlanguage = \"en GB\"\n",
       "orvello.toml:2:12: error: [site] language must be a language tag such as \"en\" or "
       "\"fr-CA\""},
      {"[site]\nbase_url = \"example.org\"\n",
       "orvello.toml:2:12: error: [site] base_url must be the address the site is served from, "
       "such as \"https://example.org/\""},
      {"[pages]\nextension = \"php\"\n",
       "orvello.toml:2:13: error: [pages] extension must be \"htm\" or \"html\""},
      {"[style]\ntheme = \"blue\"\n",
       "orvello.toml:2:9: error: [style] theme must be \"auto\", \"light\" or \"dark\""},
      {"[style]\nstylesheet = \"../x.css\"\n",
       "orvello.toml:2:14: error: [style] stylesheet must name a stylesheet inside proj/ other "
       "than main.css"},
      {"[style]\nstylesheet = \"gone.css\"\n",
       "orvello.toml:2:14: error: [style] stylesheet names proj/gone.css, which is not there"},
  };
  for (const auto& [text, error] : cases) {
    const settings_reading reading = parse_site_settings(text, "proj");
    EXPECT_FALSE(reading.settings) << text;
    EXPECT_EQ(reading.errors, std::vector<std::string>{error}) << text;
  }
}

TEST(SiteSettings, ReportsEveryMistakeInFileOrder) {
  const settings_reading reading =
      parse_site_settings("[style]\ntheme = \"x\"\n[site]\ntitel = \"y\"\n", "proj");
  ASSERT_EQ(reading.errors.size(), 2u);
  EXPECT_TRUE(reading.errors[0].starts_with("orvello.toml:2:"));
  EXPECT_TRUE(reading.errors[1].starts_with("orvello.toml:4:"));
}

// --- The map and the frame --------------------------------------------------------------------

// A command file's place and text.
using command_file_text = std::pair<std::string, std::string>;

site_frame frame_of(const std::vector<command_file_text>& files, std::string_view extension) {
  site_frame site;
  site.settings.title = "S";
  site.settings.page_extension = extension;
  site.build_date = "2026-12-07";
  std::vector<command_file_facts> facts;
  for (const auto& [place, text] : files) {
    facts.push_back({place, read_page_facts(text)});
  }
  site.map = build_site_map(facts, extension);
  return site;
}

// The part of `text` from the line holding `from` to the line holding `to`, both included.
std::string lines_between(const std::string& text, std::string_view from, std::string_view to) {
  const std::size_t start = text.rfind('\n', text.find(from)) + 1;
  const std::size_t end = text.find('\n', text.find(to, start));
  return text.substr(start, end + 1 - start);
}

const std::vector<command_file_text> small_site{
    {"index.orv", "@title\n@@text Home\n@end_title\n"},
    {"b.orv", ""},
    {"a.orv", "@page\n@@order 5\n@@title Zed\n@end_page\n"},
    {"hidden.orv", "@page\n@@menu false\n@end_page\n"},
    {"docs/index.orv", "@text\n@page\n@end_text\n@page\n@@title Docs\n@end_page\n"},
    {"docs/guide.orv", "@title\n@@text Guide\n@end_title\n@title\n@@text Later\n@end_title\n"},
    {"docs/api.orv", "@title\n@end_title\n"},
    {"docs/deep/x.orv", ""},
    {"other/y.orv", ""},
};

TEST(PageFrame, MenuShowsTheTopAndThePathToThePage) {
  const site_frame site = frame_of(small_site, ".htm");
  const std::string head = frame_page(site, "docs/guide.orv", {}).head;
  EXPECT_EQ(lines_between(head, "<ul>", "</nav>"),
            "      <ul>\n"
            "        <li><a href=\"../index.htm\">Home</a></li>\n"
            "        <li><a href=\"../a.htm\">Zed</a></li>\n"
            "        <li><a href=\"../b.htm\">b</a></li>\n"
            "        <li class=\"menu-folder open\"><a href=\"index.htm\">Docs</a>\n"
            "          <ul>\n"
            "            <li><a href=\"api.htm\">Title</a></li>\n"
            "            <li class=\"menu-folder\"><span>deep</span></li>\n"
            "            <li><a href=\"guide.htm\" aria-current=\"page\">Guide</a></li>\n"
            "          </ul>\n"
            "        </li>\n"
            "        <li class=\"menu-folder\"><span>other</span></li>\n"
            "      </ul>\n"
            "    </nav>\n");
  EXPECT_EQ(lines_between(head, "breadcrumbs", "</nav>"),
            "  <nav class=\"breadcrumbs\" aria-label=\"Breadcrumb\">\n"
            "    <ol><li><a href=\"../index.htm\">Home</a></li><li><a "
            "href=\"index.htm\">Docs</a></li><li aria-current=\"page\">Guide</li></ol>\n"
            "  </nav>\n");
  EXPECT_NE(head.find("<title>Guide · S</title>"), std::string::npos);
}

TEST(PageFrame, PageInAHiddenFolderShowsTheMenuWithoutItsFolder) {
  const site_frame site = frame_of(
      {{"a.orv", ""}, {"h/index.orv", "@page\n@@menu false\n@end_page\n"}, {"h/p.orv", ""}},
      ".htm");
  EXPECT_EQ(lines_between(frame_page(site, "h/p.orv", {}).head, "<ul>", "</nav>"),
            "      <ul>\n"
            "        <li><a href=\"../a.htm\">a</a></li>\n"
            "      </ul>\n"
            "    </nav>\n");
}

TEST(PageFrame, PagesOfTwoMapsInTurnShowTheirOwnMenus) {
  const auto site_titled = [](const std::string& title) {
    return frame_of(
        {{"a.orv", "@page\n@@title " + title + "\n@end_page\n"}, {"f/p.orv", ""}, {"f/q.orv", ""}},
        ".htm");
  };
  const site_frame one = site_titled("One");
  const site_frame two = site_titled("Two");
  for (const char* page : {"f/p.orv", "f/q.orv"}) {
    EXPECT_NE(frame_page(one, page, {}).head.find(">One</a>"), std::string::npos) << page;
    EXPECT_NE(frame_page(two, page, {}).head.find(">Two</a>"), std::string::npos) << page;
  }
}

TEST(PageFrame, PagesFramedOnSeveralThreadsAtOnceGetTheirOwnFrames) {
  std::vector<command_file_text> files;
  for (int i = 0; i < 40; ++i) {
    files.push_back({"f" + std::to_string(i % 3) + "/p" + std::to_string(i) + ".orv", ""});
  }
  const site_frame site = frame_of(files, ".htm");
  std::vector<std::string> alone;
  for (const auto& [place, text] : files) {
    alone.push_back(frame_page(site, place, {}).head);
  }
  std::vector<std::vector<std::string>> framed(4, std::vector<std::string>(files.size()));
  std::vector<std::thread> threads;
  std::latch start(static_cast<std::ptrdiff_t>(framed.size()));
  for (std::size_t t = 0; t < framed.size(); ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      const std::size_t step = std::array<std::size_t, 4>{1, 3, 7, 9}[t];  // prime to 40
      for (std::size_t i = 0; i < 20 * files.size(); ++i) {  // each thread in its own order
        const std::size_t page = (i * step + t) % files.size();
        framed[t][page] = frame_page(site, files[page].first, {}).head;
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const std::vector<std::string>& heads : framed) {
    EXPECT_TRUE(heads == alone);
  }
}

TEST(PageFrame, PreviousAndNextStayInTheFolderAndSkipHiddenPages) {
  const site_frame site = frame_of(small_site, ".html");
  EXPECT_EQ(lines_between(frame_page(site, "a.orv", {}).foot, "page-turn", "</nav>"),
            "  <nav class=\"page-turn\" aria-label=\"Previous and next\">\n"
            "    <a class=\"page-prev\" rel=\"prev\" href=\"index.html\">Previous: Home</a>\n"
            "    <a class=\"page-next\" rel=\"next\" href=\"b.html\">Next: b</a>\n"
            "  </nav>\n");
  EXPECT_EQ(frame_page(site, "hidden.orv", {}).foot.find("page-turn"), std::string::npos);
  EXPECT_EQ(frame_page(site, "hidden.orv", {}).head.find("hidden.html"), std::string::npos);
  EXPECT_EQ(frame_page(site, "other/y.orv", {}).foot.find("page-turn"), std::string::npos);
}

TEST(PageFrame, FolderIndexIsTheCurrentEntryAndTheLastCrumb) {
  const site_frame site = frame_of(small_site, ".htm");
  const std::string head = frame_page(site, "docs/index.orv", {}).head;
  EXPECT_NE(head.find("<a href=\"index.htm\" aria-current=\"page\">Docs</a>"), std::string::npos);
  EXPECT_NE(head.find("<li><a href=\"../index.htm\">Home</a></li><li aria-current=\"page\">Docs"),
            std::string::npos);
  EXPECT_EQ(frame_page(site, "b.orv", {}).head.find("breadcrumbs"), std::string::npos);
}

TEST(PageFrame, LongFoldersShowAWindowAroundThePage) {
  std::vector<command_file_text> files;
  for (int i = 10; i < 40; ++i) {
    files.push_back({"f/p" + std::to_string(i) + ".orv", ""});
  }
  const site_frame site = frame_of(files, ".htm");
  const std::string middle = frame_page(site, "f/p25.orv", {}).head;
  EXPECT_EQ(middle.find("p19.htm"), std::string::npos);
  EXPECT_NE(middle.find("p20.htm"), std::string::npos);
  EXPECT_NE(middle.find("p30.htm"), std::string::npos);
  EXPECT_EQ(middle.find("p31.htm"), std::string::npos);
  EXPECT_LT(middle.find("menu-more"), middle.find("p20.htm"));
  EXPECT_GT(middle.rfind("menu-more"), middle.find("p30.htm"));
  const std::string first = frame_page(site, "f/p10.orv", {}).head;
  EXPECT_NE(first.find("p20.htm"), std::string::npos);
  EXPECT_EQ(first.find("p21.htm"), std::string::npos);
  EXPECT_EQ(first.find("menu-more"), first.rfind("menu-more"));  // after the window only
}

TEST(PageFrame, FeedHoldsTheDatedPagesNewestFirstEscaped) {
  const site_frame base = frame_of({{"old.orv", "@page\n@@date 2025-01-02\n@end_page\n"},
                                    {"new.orv",
                                     "@page\n@@date 2026-03-04\n@@title A & <b>\x01\n"
                                     "@end_page\n"},
                                    {"bad.orv", "@page\n@@date 2026-13-01\n@end_page\n"}},
                                   ".htm");
  site_frame site = base;
  site.settings.base_url = "https://example.org/";
  const std::string feed = feed_text(site);
  EXPECT_LT(feed.find("new.htm"), feed.find("old.htm"));
  EXPECT_NE(feed.find("<title>A &amp; &lt;b&gt;</title>"), std::string::npos);
  EXPECT_EQ(feed.find("bad.htm"), std::string::npos);
  EXPECT_NE(sitemap_text(site).find("<loc>https://example.org/bad.htm</loc>"), std::string::npos);
}

TEST(PageFrame, EachPartCanBeSwitchedOff) {
  site_frame site = frame_of(small_site, ".htm");
  site.settings.menu = site.settings.breadcrumbs = site.settings.page_turn = false;
  site.settings.footer_date = false;
  const page_frame frame = frame_page(site, "docs/guide.orv", {});
  for (const char* part : {"site-menu", "menu-toggle", "breadcrumbs", "page-turn", "footer"}) {
    EXPECT_EQ((frame.head + frame.foot).find(part), std::string::npos) << part;
  }
  site.settings.footer_text = "© A & B";
  EXPECT_EQ(frame_page(site, "docs/guide.orv", {}).foot,
            "  </main>\n  <footer class=\"site-footer\"><p>© A &amp; B</p></footer>\n"
            "</body>\n</html>\n");
}

TEST(PageFrame, LinksAreRelative) {
  EXPECT_EQ(relative_link("a/b/c.htm", "a/d.htm"), "../d.htm");
  EXPECT_EQ(relative_link("a/c.htm", "a/d.htm"), "d.htm");
  EXPECT_EQ(relative_link("c.htm", "x/d.htm"), "x/d.htm");
  EXPECT_EQ(relative_link("ab/c.htm", "a/d.htm"), "../a/d.htm");
}

// --- Whole runs -------------------------------------------------------------------------------

class SettingsRun : public ScratchRun {};

TEST_F(SettingsRun, UnusableSettingsStopBeforeAnythingIsDeleted) {
  write_project({{"index.orv", "x\n"}});
  write("site/kept.txt", "kept");
  write("orvello.toml", "[site]\ntitel = \"x\"\n");
  const run_result result = run();
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err,
            "orvello.toml:2:1: error: unknown key 'titel' in [site]; did you mean 'title'?\n");
  EXPECT_TRUE(result.out.ends_with("[ORVELLO] START GENERATOR\n"));
  EXPECT_EQ(read("site/kept.txt"), "kept");
  const run_result check = run(with_args({"check"}));
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_EQ(check.out,
            "orvello.toml:2:1: error: unknown key 'titel' in [site]; did you mean 'title'? "
            "[settings]\n1 error, 0 warnings in 1 page\n");
}

TEST_F(SettingsRun, SettingsThatAreNoFileStopTheRun) {
  write_project({{"index.orv", "x\n"}});
  std::filesystem::create_directory(work / "orvello.toml");
  const run_result result = run();
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, "orvello.toml:1:1: error: cannot be read as a file\n");
  std::filesystem::remove(work / "orvello.toml");
  std::filesystem::create_symlink("gone.toml", work / "orvello.toml");
  EXPECT_EQ(run().err, "orvello.toml:1:1: error: cannot be read as a file\n");
}

TEST_F(SettingsRun, PageBlockNeedsSettings) {
  write_project({{"index.orv", "@page\n@@title T\n@end_page\n"}});
  const run_result check = run(with_args({"check"}));
  EXPECT_NE(check.out.find("proj/index.orv:1:1: warning: @page is a block only in a site with "
                           "settings: without orvello.toml beside proj/ the line is ignored "
                           "[page-needs-settings]"),
            std::string::npos)
      << check.out;
  write("orvello.toml", "");
  write_project({{"index.orv", "@page\n@@title T\n@@date 2026-1-2\n@@oder 1\n@end_page\n"}});
  write_project({{"open.orv", "@page\n@title\n@@text T\n@end_title\n"}});
  EXPECT_NE(run(with_args({"check"}))
                .out.find("proj/open.orv:1:1: error: @page is never closed before the end of "
                          "the file: every line after it is taken as a setting of the page, and "
                          "the page shows none of them [unclosed-block]"),
            std::string::npos);
  std::filesystem::remove(work / "proj/open.orv");
  EXPECT_EQ(run(with_args({"check"})).out,
            "proj/index.orv:3:1: warning: @@date must be a date such as 2026-12-07, not "
            "\"2026-1-2\" [page-setting]\nproj/index.orv:4:1: warning: @@oder is no setting of "
            "@page; did you mean @@order? [page-setting]\n0 errors, 2 warnings in 1 page\n");
}

TEST_F(SettingsRun, HtmlPagesAndTheirLinks) {
  write("orvello.toml", "[pages]\nextension = \"html\"\n");
  write_project(
      {{"index.orv", "@link\n@@url docs/index.htm\n@end_link\n"}, {"docs/index.orv", ""}});
  const run_result result = run();
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(tree(work / "site"),
            (std::vector<std::string>{"docs/", "docs/index.html", "index.html", "main.css"}));
  const std::string index = read("site/index.html");
  EXPECT_NE(index.find("<a href=\"docs/index.html\">index</a>"), std::string::npos);
  EXPECT_NE(index.find("href=\"docs/index.htm\""), std::string::npos);  // the author's, as written
  EXPECT_NE(
      run(with_args({"check"}))
          .out.find(
              "the pages of this site end in .html (orvello.toml); name the page, index.html"),
      std::string::npos);
}

TEST_F(SettingsRun, SettingsAreFoundBesideTheProjectThatDashCNames) {
  write("there/orvello.toml", "[site]\ntitle = \"There\"\n");
  write("there/proj/index.orv", "");
  const run_result result = run(with_args({"-C", "there"}));
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_NE(read("there/site/index.htm").find("<title>There</title>"), std::string::npos);
}

TEST_F(SettingsRun, AuthorsStylesheetIsLinkedAfterMainCss) {
  write("orvello.toml", "[style]\nstylesheet = \"css/mine.css\"\n");
  write_project({{"css/mine.css", "p {}\n"}, {"docs/index.orv", ""}});
  ASSERT_EQ(run().exit_status, 0);
  EXPECT_NE(read("site/docs/index.htm")
                .find("  <link rel=\"stylesheet\" href=\"../main.css\">\n"
                      "  <link rel=\"stylesheet\" href=\"../css/mine.css\">\n"),
            std::string::npos);
  EXPECT_EQ(read("site/css/mine.css"), "p {}\n");
}

}  // namespace
