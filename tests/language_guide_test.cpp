// Every example of the author's guide, docs/language.md, of the settings guide, docs/settings.md,
// and of the guide to prose and listings, docs/prose.md, built by the real orvello and compared
// with the HTML that the guide shows.
//
// The guide's examples are fenced blocks: "```orv [path] [crlf]" is a command file (path below
// proj/, page.orv by default; "crlf" writes it with CRLF line ends), and the "```html" block after
// it is the page's body, or the whole page for "```html page". A block "```<language> <path>"
// before an example is a file of that example's project. Words in brackets after "```orv" name
// what `orvello check` finds in the example, in order ("[bad-length]"); an example without them
// must check clean. A block "```toml orvello.toml" is the settings file beside proj/; "```html page
// site/x.html" names the page to compare when it is not the command file's .htm page. The runs
// start at the time the guides show (2026-12-07 09:15:02 UTC).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "scratch_run.h"

namespace {

struct guide_example {
  const char* guide = "";  // the file it is in
  int line = 0;            // where the command file's block starts in the guide
  std::vector<std::pair<std::string, std::string>> files;  // below proj/, the command file last
  std::string html;
  bool whole_page = false;
  std::vector<std::string> findings;  // what orvello check finds, in order
  std::string page;                   // the page shown, below the working folder, when named
};

void PrintTo(const guide_example& example, std::ostream* out) {
  *out << "the example at docs/" << std::filesystem::path(example.guide).filename().string() << ":"
       << example.line;
}

// A fenced block: its opening line's words and its content, each line ending in a line feed.
struct fenced_block {
  int line = 0;
  std::vector<std::string> words;
  std::string content;
};

std::vector<std::string> words_of(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) {
    words.push_back(word);
  }
  return words;
}

std::vector<fenced_block> fenced_blocks(std::istream& guide) {
  std::vector<fenced_block> blocks;
  bool inside = false;
  int number = 0;
  for (std::string line; std::getline(guide, line);) {
    ++number;
    if (!inside && line.starts_with("```")) {
      blocks.push_back({number, words_of(line.substr(3)), ""});
      inside = true;
    } else if (inside && line == "```") {
      inside = false;
    } else if (inside) {
      blocks.back().content += line + "\n";
    }
  }
  return blocks;
}

std::string with_crlf(const std::string& text) {
  std::string converted;
  for (const char c : text) {
    converted += c == '\n' ? "\r\n" : std::string(1, c);
  }
  return converted;
}

// The path below proj/ and the bytes of the command file that an "```orv" block shows.
std::pair<std::string, std::string> command_file(const fenced_block& block) {
  std::string path = "page.orv";
  bool crlf = false;
  for (std::size_t i = 1; i < block.words.size(); ++i) {
    if (block.words[i] == "crlf") {
      crlf = true;
    } else if (!block.words[i].starts_with('[')) {
      path = block.words[i];
    }
  }
  return {path, crlf ? with_crlf(block.content) : block.content};
}

// What reading the guide found wrong with it; a test below requires none.
std::vector<std::string> guide_problems;

// A file that a block before an example shows, at its place below proj/.
std::pair<std::string, std::string> project_file(const fenced_block& block) {
  const std::string& path = block.words[1];
  return {path == "orvello.toml" ? "../orvello.toml" : path, block.content};
}

std::vector<guide_example> read_guide(const char* path) {
  std::ifstream guide(path);
  if (!guide.is_open()) {
    guide_problems.push_back(std::string("cannot read ") + path);
    return {};
  }
  std::vector<guide_example> examples;
  guide_example next;
  next.guide = path;
  bool page_open = false;  // a command file waits for its html block
  for (const fenced_block& block : fenced_blocks(guide)) {
    std::string where = path;
    where.append(":").append(std::to_string(block.line)).append(": ");
    const std::string kind = block.words.empty() ? "" : block.words[0];
    if (kind == "orv") {
      if (page_open) {
        guide_problems.push_back(where + "a command file before the last one's html block");
      }
      next.line = block.line;
      next.files.push_back(command_file(block));
      for (const std::string& word : block.words) {
        if (word.starts_with('[')) {
          next.findings.push_back(word);
        }
      }
      page_open = true;
    } else if (kind == "html" || kind == "xml") {
      if (!page_open) {
        guide_problems.push_back(where + "an html block without a command file before it");
        continue;
      }
      next.html = block.content;
      next.whole_page = block.words.size() > 1 && block.words[1] == "page";
      next.page = block.words.size() > 2 ? block.words[2] : "";
      examples.push_back(std::move(next));
      next = {};
      next.guide = path;
      page_open = false;
    } else if (block.words.size() > 1) {
      next.files.push_back(project_file(block));
    }
  }
  if (page_open) {
    guide_problems.push_back("the last command file has no html block");
  }
  return examples;
}

const std::vector<guide_example>& guide_examples() {
  static const std::vector<guide_example> examples = read_guide(ORVELLO_LANGUAGE_GUIDE);
  return examples;
}

const std::vector<guide_example>& settings_examples() {
  static const std::vector<guide_example> examples = read_guide(ORVELLO_SETTINGS_GUIDE);
  return examples;
}

const std::vector<guide_example>& prose_examples() {
  static const std::vector<guide_example> examples = read_guide(ORVELLO_PROSE_GUIDE);
  return examples;
}

// The page that an example shows, below the working folder.
std::string page_path(const guide_example& example) {
  if (!example.page.empty()) {
    return example.page;
  }
  const std::string& path = example.files.back().first;
  return "site/" + path.substr(0, path.rfind('.')) + ".htm";
}

// A run on the day the guides show.
run_options on_guide_day(std::vector<std::string> args) {
  run_options options = with_args(std::move(args));
  options.env = {"SOURCE_DATE_EPOCH=1796634902"};
  return options;
}

}  // namespace

class LanguageGuide : public ScratchRun, public ::testing::WithParamInterface<guide_example> {};

TEST_P(LanguageGuide, BuildsAsShown) {
  const guide_example& example = GetParam();
  write_project(example.files);
  const run_result result = run(on_guide_day({}));
  ASSERT_EQ(0, result.exit_status) << result.err;
  const std::string page = read(page_path(example));
  if (example.whole_page) {
    EXPECT_EQ(example.html, page);
  } else {
    EXPECT_EQ(example.html, page_body(page));
  }
}

// The names in brackets at the ends of the lines of `orvello check`, in order.
std::vector<std::string> finding_names(const std::string& out) {
  std::vector<std::string> names;
  for (const std::string& line : lines_of(out)) {
    if (line.ends_with("]") && line.find(": ") != std::string::npos) {
      names.push_back(line.substr(line.rfind(" [") + 1));
    }
  }
  return names;
}

TEST_P(LanguageGuide, ChecksAsAnnotated) {
  const guide_example& example = GetParam();
  write_project(example.files);
  const run_result result = run(on_guide_day({"check"}));
  EXPECT_EQ(example.findings, finding_names(result.out)) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Examples, LanguageGuide, ::testing::ValuesIn(guide_examples()),
                         [](const ::testing::TestParamInfo<guide_example>& param) {
                           return "Line" + std::to_string(param.param.line);
                         });
INSTANTIATE_TEST_SUITE_P(SettingsExamples, LanguageGuide, ::testing::ValuesIn(settings_examples()),
                         [](const ::testing::TestParamInfo<guide_example>& param) {
                           return "Line" + std::to_string(param.param.line);
                         });
INSTANTIATE_TEST_SUITE_P(ProseExamples, LanguageGuide, ::testing::ValuesIn(prose_examples()),
                         [](const ::testing::TestParamInfo<guide_example>& param) {
                           return "Line" + std::to_string(param.param.line);
                         });

TEST(LanguageGuideFile, PairsEveryCommandFileWithItsHtml) {
  guide_examples();
  EXPECT_FALSE(settings_examples().empty());
  EXPECT_FALSE(prose_examples().empty());
  EXPECT_EQ(std::vector<std::string>{}, guide_problems);
}

TEST(LanguageGuideFile, ShowsEveryBlockKind) {
  for (const std::string kind :
       {"title", "text", "code", "link", "image", "video", "audio", "pdf", "download"}) {
    bool shown = false;
    for (const guide_example& example : guide_examples()) {
      for (const std::string& line : lines_of(example.files.back().second)) {
        shown = shown || line == "@" + kind;
      }
    }
    EXPECT_TRUE(shown) << "no example opens a " << kind << " block";
  }
}
