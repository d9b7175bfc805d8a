// The highlight unit: languages found by name and by file, and listings turned into classed HTML.
#include "highlight.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(Highlight, FindsLanguagesByNameInAnyCaseAndByUsualExtension) {
  const struct {
    std::string_view name;
    std::optional<std::string> found;
  } cases[] = {
      {"C", "C"},
      {"c++", "C++"},
      {"Python", "Python"},
      {"py", "Python"},
      {"bash", "Bash"},
      {"sh", "Bash"},
      {"js", "JavaScript"},
      {"html", "HTML"},
      {"CSS", "CSS"},
      {"no-such-language", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(find_language(c.name), c.found) << c.name;
  }
}

TEST(Highlight, FindsTheLanguageOfAFileFromItsName) {
  const struct {
    std::string_view file;
    std::optional<std::string> found;
  } cases[] = {
      {"hello.c", "C"},      {"docs/main.cpp", "C++"},        {"tool.py", "Python"},
      {"deploy.sh", "Bash"}, {"copy.js", "JavaScript"},       {"index.html", "HTML"},
      {"main.css", "CSS"},   {"notes.unknown-extension", {}}, {"README", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(language_of_file(c.file), c.found) << c.file;
  }
}

TEST(Highlight, ListsTheLanguagesSorted) {
  const std::vector<std::string> names = known_languages();
  EXPECT_GT(names.size(), 100U);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  for (const char* name : {"C", "C++", "Python", "Bash", "JavaScript", "HTML", "CSS"}) {
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), name)) << name;
  }
}

TEST(Highlight, WritesOneEscapedLineOfSpansPerLine) {
  const struct {
    std::string language;
    std::vector<std::string> lines;
    std::vector<std::string> html;
  } cases[] = {
      {"C",
       {"int a = 1; // <b> & c", "", "return \"x\";"},
       {"<span class=\"hl-type\">int</span> a <span class=\"hl-op\">=</span> "
        "<span class=\"hl-num\">1</span><span class=\"hl-op\">;</span> "
        "<span class=\"hl-com\">// &lt;b&gt; &amp; c</span>",
        "",
        "<span class=\"hl-flow\">return</span> <span class=\"hl-str\">\"x\"</span>"
        "<span class=\"hl-op\">;</span>"}},
      // A comment that spans lines keeps its style on the next line.
      {"C",
       {"/* a", "b */ x"},
       {"<span class=\"hl-com\">/* a</span>", "<span class=\"hl-com\">b */</span> x"}},
      {"Python",
       {"def f():", "    pass"},
       {"<span class=\"hl-kw\">def</span> f():", "    <span class=\"hl-flow\">pass</span>"}},
      {"HTML",
       {"<p>&amp;</p>"},
       {"<span class=\"hl-kw\">&lt;p&gt;</span><span class=\"hl-num\">&amp;amp;</span>"
        "<span class=\"hl-kw\">&lt;/p&gt;</span>"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(highlight_lines(c.language, c.lines), c.html) << c.lines[0];
  }
}

}  // namespace
