// The markdown unit: what each construct becomes, what is escaped, and where links are found.
#include "markdown.h"

#include <gtest/gtest.h>

void PrintTo(const markdown_reference& r, std::ostream* out) {
  *out << (r.picture ? "picture " : "link ") << r.target << " at " << r.line << ":" << r.column;
}

namespace {

struct markdown_case {
  std::string_view name;
  std::string_view text;
  std::string_view html;
  markdown_options options = {.raw_html = false, .language = ""};
};

void expect_html(std::initializer_list<markdown_case> cases) {
  for (const markdown_case& c : cases) {
    EXPECT_EQ(render_markdown(c.text, c.options).html, c.html) << c.name;
  }
}

TEST(Markdown, WritesCommonMarkAndItsCommonExtensions) {
  expect_html({
      {"paragraphs", "a\nb\n\nc  \nd\n", "<p>a\nb</p>\n<p>c<br>\nd</p>\n"},
      {"emphasis", "*a* **b** ~~c~~", "<p><em>a</em> <strong>b</strong> <del>c</del></p>\n"},
      {"lists", "- a\n- b\n\n3. c\n",
       "<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n<ol start=\"3\">\n<li>c</li>\n</ol>\n"},
      {"task list", "- [x] a\n- [ ] b\n",
       "<ul>\n<li class=\"task done\"><input type=\"checkbox\" disabled checked "
       "aria-label=\"Done\">a</li>\n<li class=\"task\"><input type=\"checkbox\" disabled "
       "aria-label=\"Not done\">b</li>\n</ul>\n"},
      {"table", "| a | b |\n|:--|--:|\n| 1 | 2 |\n",
       "<div class=\"markdown-table\" tabindex=\"0\"><table>\n<thead>\n<tr><th style=\"text-align: "
       "left\">a</th>"
       "<th style=\"text-align: right\">b</th></tr>\n</thead>\n<tbody>\n<tr><td "
       "style=\"text-align: left\">1</td><td style=\"text-align: right\">2</td></tr>\n</tbody>\n"
       "</table></div>\n"},
      {"autolinks", "see https://a.example/x and <b@c.example>",
       "<p>see <a href=\"https://a.example/x\">https://a.example/x</a> and <a "
       "href=\"mailto:b@c.example\">b@c.example</a></p>\n"},
      {"link and picture", "[a](p.htm \"T\") ![b *c*](i.png)",
       "<p><a href=\"p.htm\" title=\"T\">a</a> <img src=\"i.png\" alt=\"b c\"></p>\n"},
      {"quote and rule", "> a\n\n---\n", "<blockquote>\n<p>a</p>\n</blockquote>\n<hr>\n"},
      {"code span without a language", "`a < b`", "<p><code>a &lt; b</code></p>\n"},
      {"code span in the block's language",
       "`int a`",
       "<p><code><span class=\"hl-type\">int</span> a</code></p>\n",
       {.raw_html = false, .language = "c"}},
  });
}

TEST(Markdown, GivesHeadingsIdsThatAreUniqueInTheText) {
  expect_html({
      {"id", "# A *new* Heading: 2.0!\n",
       "<h1 id=\"a-new-heading-20\">A <em>new</em> Heading: 2.0!</h1>\n"},
      {"repeated", "## x\n## x\n## x\n",
       "<h2 id=\"x\">x</h2>\n<h2 id=\"x-1\">x</h2>\n<h2 id=\"x-2\">x</h2>\n"},
      {"nothing left", "# ?!\n", "<h1 id=\"section\">?!</h1>\n"},
      {"the frame's ids are taken", "# Content\n", "<h1 id=\"content-1\">Content</h1>\n"},
      {"quotes cannot end the id", "# a\"b\n", "<h1 id=\"ab\">a\"b</h1>\n"},
  });
  EXPECT_EQ(heading_id("Héllo  Wörld -- x"), "héllo-wörld-x");
}

TEST(Markdown, EscapesRawHtmlUnlessAllowed) {
  expect_html({
      {"inline", "a <b onclick=\"x\">b</b>", "<p>a &lt;b onclick=\"x\"&gt;b&lt;/b&gt;</p>\n"},
      {"block", "<script>alert(1)</script>\n", "<p>&lt;script&gt;alert(1)&lt;/script&gt;</p>\n"},
      {"allowed inline", "a <b>b</b>", "<p>a <b>b</b></p>\n", {.raw_html = true, .language = ""}},
      {"allowed block", "<div>x</div>\n", "<div>x</div>\n", {.raw_html = true, .language = ""}},
      {"script links", "[a](javascript:alert(1)) [b]( JavaScript:x) [c](data:text/html,x)",
       "<p><a href=\"#\">a</a> <a href=\"#\">b</a> <a href=\"#\">c</a></p>\n"},
      {"script links behind references",
       "[a](&#106;avascript:x) [b](&#x4A;avascript:x) [c](javascript&colon;x) "
       "[d](java&#9;script:x)",
       "<p><a href=\"#\">a</a> <a href=\"#\">b</a> <a href=\"javascript&amp;colon;x\">c</a> "
       "<a href=\"#\">d</a></p>\n"},
      {"empty addresses", "[a]() ![b]()", "<p><a href=\"\">a</a> <img src=\"\" alt=\"b\"></p>\n"},
      {"references in addresses", "[a](a.htm?x=1&amp;y=&#50;&copy; \"t&amp;\")",
       "<p><a href=\"a.htm?x=1&amp;y=2&amp;copy;\" title=\"t&amp;\">a</a></p>\n"},
      {"picture data kept", "![a](data:image/png;base64,AA)",
       "<p><img src=\"data:image/png;base64,AA\" alt=\"a\"></p>\n"},
      {"attribute quotes", "[a](<x\"y> \"t\\\"\")",
       "<p><a href=\"x&quot;y\" title=\"t&quot;\">a</a></p>\n"},
      {"entities kept", "&amp; &copy; &#x3C; &bogus;", "<p>&amp; &copy; &#x3C; &bogus;</p>\n"},
      {"NUL", std::string_view("a\0b", 3),
       "<p>a\xEF\xBF\xBD"
       "b</p>\n"},
  });
}

TEST(Markdown, FindsEveryLinkAndPictureAtItsLineAndColumn) {
  const markdown_result result =
      render_markdown("# T\n\nsee [a](a.htm) and\n  ![p](img/p.png)\n[\\*](x\\*y.htm)\n", {});
  const std::vector<markdown_reference> expected = {
      {false, "a.htm", 3, 9}, {true, "img/p.png", 4, 8}, {false, "x*y.htm", 5, 6}};
  EXPECT_EQ(result.references, expected);
}

TEST(Markdown, SurvivesHostileInput) {
  const std::string deep_quotes(100000, '>');
  const std::string deep_lists = [] {
    std::string text;
    for (int i = 0; i < 2000; ++i) {
      text += std::string(static_cast<std::size_t>(i) * 2, ' ') + "- a\n";
    }
    return text;
  }();
  const std::string emphasis(100000, '*');
  const std::string brackets = std::string(50000, '[') + std::string(50000, ']');
  for (const std::string& text : {deep_quotes, deep_lists, emphasis, brackets}) {
    const markdown_result result = render_markdown(text, {});
    EXPECT_FALSE(result.html.empty());
    EXPECT_EQ(result.html.find('<', 0) == std::string::npos, false);
  }
}

}  // namespace
