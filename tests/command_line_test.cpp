// The command line through the real binary: verbs, options, usage errors and their exit statuses.
#include <string>
#include <vector>

#include "scratch_run.h"

namespace {

std::string first_line(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

class CommandLine : public ScratchRun {};

TEST_F(CommandLine, AnswersEachCommandLineWithItsStatusAndFirstLine) {
  struct command_case {
    std::vector<std::string> args;
    int status;
    std::string out;  // first line of standard output
    std::string err;  // first line of standard error
  };
  const std::vector<command_case> cases = {
      {{"--help"},
       0,
       "Orvello builds a static web site from the folder proj/ into the folder site/.",
       ""},
      {{"-h"},
       0,
       "Orvello builds a static web site from the folder proj/ into the folder site/.",
       ""},
      {{"--version"}, 0, "orvello 1-10.2026", ""},
      {{"init", "--help"}, 0, "Start a project: DIR/proj/ with one page to edit", ""},
      {{"serve", "--help"}, 0, "Build, serve site/ and rebuild and reload as proj/ changes", ""},
      {{"check", "--help"}, 0, "Report mistakes in proj/ at file and line", ""},
      {{"lsp", "--help"}, 0, "Serve editors as a language server on standard input and output", ""},
      {{"frob"}, 2, "", "orvello: unknown verb 'frob' (see 'orvello --help')"},
      {{"--frob"}, 2, "", "orvello: unknown option '--frob' (see 'orvello --help')"},
      {{"build", "--frob"}, 2, "", "orvello: unknown option '--frob' (see 'orvello --help')"},
      {{"build", "extra"}, 2, "", "orvello: unexpected argument 'extra' (see 'orvello --help')"},
      {{"-C"}, 2, "", "orvello: -C: 1 required DIR missing (see 'orvello --help')"},
      {{"serve", "--port", "65536"},
       2,
       "",
       "orvello: --port: Value 65536 not in range 0 to 65535 (see 'orvello --help')"},
      {{"-C", "missing"}, 2, "", "orvello: cannot enter 'missing': No such file or directory"},
  };
  for (const command_case& c : cases) {
    const run_result result = run(with_args(c.args));
    const std::string shown = c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : "");
    EXPECT_EQ(c.status, result.exit_status) << shown;
    EXPECT_EQ(c.out, first_line(result.out)) << shown;
    EXPECT_EQ(c.err, first_line(result.err)) << shown;
  }
  EXPECT_EQ(std::vector<std::string>{}, tree(work)) << "a usage error writes nothing";
}

TEST_F(CommandLine, InitStartsAProjectThatBuildsAndNeverOverwritesOne) {
  ASSERT_EQ(0, run(with_args({"init"})).exit_status);
  EXPECT_EQ((std::vector<std::string>{"orvello.toml", "proj/", "proj/index.orv"}), tree(work));
  const std::string starter = read("proj/index.orv");
  for (const char* block : {"@title", "@text", "@link"}) {
    EXPECT_NE(std::string::npos, starter.find(block)) << block;
  }
  write("proj/index.orv", "mine");
  const run_result again = run(with_args({"init"}));
  EXPECT_EQ(1, again.exit_status);
  EXPECT_EQ("orvello: proj already exists; init never overwrites or merges\n", again.err);
  EXPECT_EQ("mine", read("proj/index.orv"));

  ASSERT_EQ(0, run(with_args({"init", "new/site"})).exit_status);
  const run_result built = run(with_args({"-C", "new/site", "build"}));
  EXPECT_EQ(0, built.exit_status) << built.err;
  EXPECT_TRUE(exists("new/site/site/index.html"));
  EXPECT_EQ("0 errors, 0 warnings in 1 page\n", run(with_args({"-C", "new/site", "check"})).out);
}

TEST_F(CommandLine, InitKeepsSettingsThatAreThere) {
  write("orvello.toml", "# mine\n");
  const run_result result = run(with_args({"init"}));
  ASSERT_EQ(0, result.exit_status);
  EXPECT_NE(std::string::npos, result.out.find("Kept the existing orvello.toml\n"));
  EXPECT_EQ("# mine\n", read("orvello.toml"));
}

// With SOURCE_DATE_EPOCH the footers show that instant in UTC, so runs are reproducible.
TEST_F(CommandLine, SourceDateEpochFixesTheFooterTime) {
  write_project({{"index.orv", ""}});
  run_options options;
  options.env = {"SOURCE_DATE_EPOCH=1700000000", "TZ=Pacific/Kiritimati"};
  ASSERT_EQ(0, run(options).exit_status);
  EXPECT_EQ("14-11-2023 at 22:13:20", footer_time(read("site/index.htm")));

  write("site/keep", "");
  for (const char* bad : {"SOURCE_DATE_EPOCH=", "SOURCE_DATE_EPOCH=-1", "SOURCE_DATE_EPOCH=1e9",
                          "SOURCE_DATE_EPOCH=99999999999999999999"}) {
    options.env = {bad};
    const run_result result = run(options);
    EXPECT_EQ(2, result.exit_status) << bad;
    EXPECT_EQ("", result.out) << bad;
    EXPECT_TRUE(result.err.starts_with("orvello: SOURCE_DATE_EPOCH must be")) << result.err;
  }
  EXPECT_TRUE(exists("site/keep"));
}

}  // namespace
