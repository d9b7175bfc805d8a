// The five-step run as a user meets it: console lines, streams and exit status.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>

#include "scratch_run.h"

namespace {

const std::string banner =
    "***************************\n"
    "APP VERSION: 1-10.2026\n"
    "AUTHOR ....: The Orvello authors\n"
    "COUNTRY ...: International\n"
    "SITE: .....: https://orvello.example\n"
    "LICENSE ...: MIT\n"
    "***************************\n"
    "\n"
    "[ORVELLO] START GENERATOR\n";

std::string started(int step) {
  static const char* const descriptions[] = {
      "delete 'site' dir",
      "replicated 'proj' dir structure to 'site'",
      "copied non-command files from 'proj' dir to 'site' dir",
      "generated main.css in 'site' dir",
      "process command files in 'proj' dir to 'site' dir",
  };
  return "[ORVELLO] STARTED Step " + std::to_string(step) + "/5 - " + descriptions[step - 1] + "\n";
}

std::string completed(int step) {
  return "[ORVELLO] COMPLETED Step " + std::to_string(step) + "/5\n";
}

// The console of a successful run is fixed but for the elapsed milliseconds.
void expect_successful_console(const run_result& result, const std::string& steps_output) {
  EXPECT_EQ(0, result.exit_status);
  const std::string tail_pattern =
      "\\[ORVELLO\\] Generated site in [0-9]+ ms\n\\[ORVELLO\\] END GENERATOR\n$";
  ASSERT_TRUE(result.out.starts_with(banner + steps_output)) << result.out;
  EXPECT_TRUE(std::regex_match(result.out.substr(banner.size() + steps_output.size()),
                               std::regex(tail_pattern)))
      << result.out;
}

}  // namespace

using OrvelloRun = ScratchRun;

TEST_F(OrvelloRun, FullRunPrintsBannerTenStepLinesAndElapsedTime) {
  write_project({{"index.orv", "@title\n@@text Hi\n@end_title\n"}, {"img/logo.png", "PNG"}});
  const run_result result = run();
  expect_successful_console(
      result, started(1) + "Info: Directory 'site' does not exist. Nothing to delete.\n" +
                  completed(1) + started(2) + "Created: site/img\n" + completed(2) + started(3) +
                  "Copied asset: img/logo.png -> site/img/logo.png\n" + completed(3) + started(4) +
                  completed(4) + started(5) + "Compiled: index.orv -> site/index.htm\n" +
                  completed(5));
  EXPECT_EQ("", result.err);
}

TEST_F(OrvelloRun, SecondRunDeletesTheFirstSiteSilently) {
  write_project({{"index.orv", ""}});
  ASSERT_EQ(0, run().exit_status);
  write("site/stale.txt", "left over");
  const run_result result = run();
  expect_successful_console(result, started(1) + completed(1) + started(2) + completed(2) +
                                        started(3) + completed(3) + started(4) + completed(4) +
                                        started(5) + "Compiled: index.orv -> site/index.htm\n" +
                                        completed(5));
  EXPECT_FALSE(exists("site/stale.txt"));
}

// With nothing to build from, the site of an earlier run is kept rather than deleted.
TEST_F(OrvelloRun, MissingProjFailsStepOneAndKeepsSite) {
  write("site/index.htm", "an earlier page");
  const run_result result = run();
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ(banner + started(1) + "[ORVELLO] FAILED Step 1/5\n", result.out);
  EXPECT_EQ("Error: Source directory 'proj' does not exist.\n", result.err);
  EXPECT_EQ("an earlier page", read("site/index.htm"));
}

TEST_F(OrvelloRun, PlainFileNamedProjFailsStepTwoWithFileSystemError) {
  write("proj", "not a folder");
  const run_result result = run();
  EXPECT_EQ(1, result.exit_status);
  EXPECT_TRUE(result.out.ends_with(started(2) + "[ORVELLO] FAILED Step 2/5\n")) << result.out;
  EXPECT_TRUE(result.err.starts_with("File system error: ")) << result.err;
  EXPECT_EQ(1u, lines_of(result.err).size()) << result.err;
  EXPECT_TRUE(exists("site"));
}

TEST_F(OrvelloRun, PlainFileNamedSiteIsReplaced) {
  write("site", "an old file");
  write_project({{"index.orv", ""}});
  const run_result result = run();
  EXPECT_EQ(0, result.exit_status) << result.err;
  EXPECT_TRUE(result.out.find("Info: Directory") == std::string::npos);
  EXPECT_EQ((std::vector<std::string>{"index.htm", "main.css"}), tree(work / "site"));
}

TEST_F(OrvelloRun, FooterShowsTheLocalStartTimeOnEveryPage) {
  write_project({{"index.orv", ""}, {"docs/deep/page.orv", ""}});
  const auto stamp = [] {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d-%m-%Y at %H:%M:%S", &local);
    return std::string(text);
  };
  const std::string before = stamp();
  ASSERT_EQ(0, run().exit_status);
  const std::string after = stamp();
  const std::string shown = footer_time(read("site/index.htm"));
  EXPECT_TRUE(shown == before || shown == after)
      << shown << " not in [" << before << ", " << after << "]";
  EXPECT_EQ(shown, footer_time(read("site/docs/deep/page.htm")));
}
