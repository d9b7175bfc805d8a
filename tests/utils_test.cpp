#include "utils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "block_records.h"
#include "external_reads.h"
#include "page_context.h"

TEST(HtmlEscape, EscapesAmpersandAndAngleBracketsOnly) {
  EXPECT_EQ("", html_escape(""));
  EXPECT_EQ("plain words", html_escape("plain words"));
  EXPECT_EQ("&lt;b&gt;", html_escape("<b>"));
  EXPECT_EQ("a &amp;&amp; b", html_escape("a && b"));
  EXPECT_EQ("&lt;&amp;&gt;", html_escape("<&>"));
  EXPECT_EQ("&amp;amp;", html_escape("&amp;"));
  EXPECT_EQ("\"quoted\" 'single'", html_escape("\"quoted\" 'single'"));
  EXPECT_EQ("  tab\tand\nline feed", html_escape("  tab\tand\nline feed"));
  EXPECT_EQ("caf\xc3\xa9 \xe2\x86\x92 &lt;", html_escape("caf\xc3\xa9 \xe2\x86\x92 <"));
  EXPECT_EQ(std::string("nul\0&amp;", 9), html_escape(std::string("nul\0&", 5)));
}

TEST(HtmlEscape, FindsEachMarkAtEveryPlaceOfShortAndLongTextsAndQuotesInAttributes) {
  for (std::size_t length = 1; length <= 40; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (const auto& [mark, text, attribute] :
           {std::tuple{'<', "&lt;", "&lt;"}, {'&', "&amp;", "&amp;"}, {'"', "\"", "&quot;"}}) {
        std::string plain(length, 'x');
        plain[at] = mark;
        const std::string before(at, 'x');
        const std::string after(length - at - 1, 'x');
        EXPECT_EQ(before + text + after, html_escape(std::string_view(plain)));
        EXPECT_EQ(before + attribute + after, html_escape(plain, html_use::attribute))
            << length << " " << at;
      }
    }
  }
}

// Several marks in one text, close together and far apart, in the blocks and in the last bytes.
TEST(HtmlEscape, FindsEveryMarkOfTextsWithSeveralMarks) {
  for (std::size_t length = 1; length <= 40; ++length) {
    for (std::size_t step = 1; step <= 5; ++step) {
      for (std::size_t first = 0; first < step && first < length; ++first) {
        std::string plain(length, 'x');
        std::string escaped;
        for (std::size_t at = 0; at < length; ++at) {
          const bool marked = at % step == first;
          plain[at] = marked ? '>' : 'x';
          escaped += marked ? "&gt;" : "x";
        }
        EXPECT_EQ(escaped, html_escape(plain)) << length << " " << step << " " << first;
      }
    }
  }
}

TEST(FileExtension, RunsFromTheLastDotUnlessThatDotStartsTheName) {
  EXPECT_EQ("", file_extension(""));
  EXPECT_EQ(".png", file_extension("logo.png"));
  EXPECT_EQ(".orv", file_extension("page.old.orv"));
  EXPECT_EQ(".gz", file_extension("archive.tar.gz"));
  EXPECT_EQ(".", file_extension("trailing."));
  EXPECT_EQ("", file_extension("README"));
  EXPECT_EQ("", file_extension(".c"));
  EXPECT_EQ("", file_extension(".htaccess"));
  EXPECT_EQ(".orv", file_extension(".hidden.orv"));
}

TEST(IsCommandFile, MatchesTheListExactlyAndCaseSensitively) {
  const std::vector<std::string> extensions{".orv", ".c", ".cpp"};
  EXPECT_TRUE(is_command_file("index.orv", extensions));
  EXPECT_TRUE(is_command_file("tool.c", extensions));
  EXPECT_TRUE(is_command_file("main.cpp", extensions));
  EXPECT_TRUE(is_command_file("page.old.orv", extensions));
  EXPECT_FALSE(is_command_file("notes.ORV", extensions));
  EXPECT_FALSE(is_command_file("Main.CPP", extensions));
  EXPECT_FALSE(is_command_file("header.h", extensions));
  EXPECT_FALSE(is_command_file("main.cc", extensions));
  EXPECT_FALSE(is_command_file("page.orv.bak", extensions));
  EXPECT_FALSE(is_command_file(".orv", extensions));
  EXPECT_FALSE(is_command_file("README", extensions));
  EXPECT_FALSE(is_command_file("", extensions));
  EXPECT_FALSE(is_command_file("index.orv", {}));
}

TEST(DepthPrefix, OneStepUpPerFolder) {
  EXPECT_EQ("", depth_prefix(""));
  EXPECT_EQ("", depth_prefix("index.orv"));
  EXPECT_EQ("", depth_prefix("./index.orv"));
  EXPECT_EQ("../", depth_prefix("docs/guide.orv"));
  EXPECT_EQ("../../", depth_prefix("a/b/page.orv"));
  EXPECT_EQ("../../../", depth_prefix("a/b/c/page.cpp"));
}

TEST(EscapeQuotes, WritesOnlyDoubleQuotesAsEntities) {
  EXPECT_EQ("", escape_quotes(""));
  EXPECT_EQ("a&quot; onload=&quot;x", escape_quotes("a\" onload=\"x"));
  EXPECT_EQ("page?a=1&b=<2>'", escape_quotes("page?a=1&b=<2>'"));
}

TEST(JavascriptStringEscape, KeepsTheValueAndCannotEndTheScript) {
  EXPECT_EQ("", javascript_string_escape(""));
  EXPECT_EQ("docs/a b.pdf", javascript_string_escape("docs/a b.pdf"));
  EXPECT_EQ("a\\\"b\\\\c", javascript_string_escape("a\"b\\c"));
  EXPECT_EQ("\\x3C/script>", javascript_string_escape("</script>"));
  EXPECT_EQ("x.pdf\\r", javascript_string_escape("x.pdf\r"));
  EXPECT_EQ("it's & caf\xc3\xa9", javascript_string_escape("it's & caf\xc3\xa9"));
}

TEST(UnitRules, EachKindOfValueHasItsOwnExemptions) {
  struct row {
    std::string_view value, dimension, text_size, font_size;
  };
  const row rows[] = {
      {"", "px", "px", "px"},
      {"640", "640px", "640px", "640px"},
      {"auto", "auto", "autopx", "autopx"},
      {"Auto", "Autopx", "Autopx", "Autopx"},
      {"80%", "80%", "80%px", "80%"},
      {"18px", "18px", "18px", "18px"},
      {"12PX", "12PXpx", "12PXpx", "12PXpx"},
      {"1.2em", "1.2empx", "1.2em", "1.2em"},
      {"2rem", "2rempx", "2rem", "2rem"},
      {"system", "systempx", "system", "system"},
      {" 5", " 5px", " 5px", " 5px"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(r.dimension, dimension_with_unit(r.value)) << r.value;
    EXPECT_EQ(r.text_size, text_size_with_unit(r.value)) << r.value;
    EXPECT_EQ(r.font_size, font_size_with_unit(r.value)) << r.value;
  }
}

TEST(ApplySetting, FirstMatchingKeyTakesTheRestOfTheLine) {
  block_records records;
  std::string& size = records.title.size;
  std::string& text = records.title.text;
  bool& loop = records.video.loop;
  size = text = "old";
  loop = true;
  static constexpr setting_key keys[] = {
      {"@@size ", &record_field<&block_records::title, &title_template_config::size>},
      {"@@text ", &record_field<&block_records::title, &title_template_config::text>},
      {"@@loop ", &record_field<&block_records::video, &video_template_config::loop>}};
  const auto apply = [&](std::string_view line) { return apply_setting(line, keys, records); };
  EXPECT_TRUE(apply("@@size 40"));
  EXPECT_EQ("40", size);
  EXPECT_TRUE(apply("@@text  two blanks "));
  EXPECT_EQ(" two blanks ", text);
  EXPECT_TRUE(apply("@@text "));
  EXPECT_EQ("", text);
  EXPECT_TRUE(apply("@@loop true"));
  EXPECT_TRUE(loop);
  for (const char* not_true : {"True", "1", "true ", "yes", ""}) {
    loop = true;
    EXPECT_TRUE(apply(std::string("@@loop ") + not_true));
    EXPECT_FALSE(loop) << not_true;
  }
  for (const char* unknown : {"@@size", "@@SIZE 3", "@@sizes 3", " @@size 3", "@@color red", ""}) {
    EXPECT_FALSE(apply(unknown)) << unknown;
  }
  EXPECT_EQ("40", size);
}

TEST(FollowBlockProtocol, OpensResetsClosesAndPassesInnerLines) {
  struct record {
    std::string value = "default";
  } config{"kept"};
  bool in_block = false;
  std::string taken, written;
  const auto step = [&](std::string_view line) {
    follow_block_protocol(
        line, block_names{"@x", "@end_x"}, in_block, config,
        [&](std::string_view inner) { taken += std::string(inner) + ";"; },
        [&] { written += config.value + ";"; });
  };
  step("@@ignored outside");
  step("@end_x");
  EXPECT_EQ("kept;", written);
  step("@x");
  EXPECT_TRUE(in_block);
  EXPECT_EQ("default", config.value);
  config.value = "set";
  step("@@a 1");
  step("@x ");
  step("@end_x");
  EXPECT_FALSE(in_block);
  step("@end_x");
  EXPECT_EQ("@@a 1;@x ;", taken);
  EXPECT_EQ("kept;set;set;", written);
}

TEST(MediaAttributes, ControlsThenAutoplayMutedThenLoop) {
  EXPECT_EQ("controls", media_attributes(false, false));
  EXPECT_EQ("controls autoplay muted", media_attributes(true, false));
  EXPECT_EQ("controls loop", media_attributes(false, true));
  EXPECT_EQ("controls autoplay muted loop", media_attributes(true, true));
}

// A page compiled before the pages ahead of it stops exactly where its output would depend on
// them, or where it would read a file; else it is the page compiled from its start.
TEST(CompileAhead, StopsWhereThePageNeedsItsStart) {
  struct row {
    std::string_view page;
    bool stops;
  };
  const row rows[] = {
      {"@title\n@@text t\n@end_title\n@end_title\n", false},  // its own block again
      {"@end_title\n", true},                                 // the last page's title
      {"@text\nline\n@end_title\n", true},                    // taken by the title kind
      {"@text\n@end_text\n@link\n@end_link\nplain line\n", false},
      {"@pdf\n@@src a.pdf\n@end_pdf\n", true},  // numbered after the pages before
      {"@code\n@@src listing.c\n@end_code\n", true},
      {"@text\n@@src notes.txt\n", false},  // never closed: nothing read
  };
  for (const row& r : rows) {
    block_records start;
    start.title.text = "carried";
    page_context ahead;
    ahead.start_unknown = true;
    std::ostringstream ahead_page;
    compile_page(r.page, ahead_page, ahead, "", page_icon{}, external_reads{});
    EXPECT_EQ(r.stops, ahead.start_needed) << r.page;
    if (r.stops) {
      continue;
    }
    page_context known;
    known.records = start;
    std::ostringstream page;
    compile_page(r.page, page, known, "", page_icon{}, external_reads{});
    EXPECT_EQ(page.str(), ahead_page.str()) << r.page;
    swap_kinds(start, ahead.records, ahead.opened_kinds);
    EXPECT_TRUE(start == known.records) << r.page;
  }
}

// A page learns whether it looked a language up to colour in, whatever the page before it did: only
// such a page may carry the warning that the highlighter could not be loaded, and the compile
// itself writes no warning, whichever thread loaded the highlighter first.
TEST(CompilePage, LearnsWhetherThePageLookedALanguageUp) {
  struct row {
    std::string_view page;
    bool settings;
    bool looked_up;
  };
  const row rows[] = {
      {"@code\n@@language cpp\nint x;\n@end_code\n", true, true},
      {"@code\n@@src missing.cpp\n@end_code\n", true, true},         // by the file's name
      {"@code\n@@language cpp\nint x;\n@end_code\n", false, false},  // a line of the listing
      {"@code\nint x;\n@end_code\n", true, false},
      {"@markdown\n@@language python\n`x = 1`\n@end_markdown\n", true, true},
      {"@markdown\n```c\nint x;\n```\n@end_markdown\n", true, true},
      {"@markdown\n`x = 1`\n\n    indented\n@end_markdown\n", true, false},
      {"@title\n@@text t\n@end_title\n", true, false},
  };
  for (const row& r : rows) {
    page_context context;
    context.prose.enabled = r.settings;
    context.language_looked_up = !r.looked_up;  // as an earlier page left it
    std::ostringstream errors;
    context.errors = &errors;
    std::ostringstream page;
    compile_page(r.page, page, context, "", page_icon{}, external_reads{});
    EXPECT_EQ(r.looked_up, context.language_looked_up) << r.page;
    EXPECT_EQ(std::string::npos, errors.str().find("not coloured")) << r.page;
  }
}
