#include "html_buffer.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>

#include "utils.h"

// Texts longer than a slice of escaping, and a buffer that grows while it holds text: what the
// buffer hands over is what the string functions write.
TEST(HtmlBuffer, GathersWhatTheStringFunctionsWriteAcrossSlicesAndGrowth) {
  for (const std::size_t length :
       std::initializer_list<std::size_t>{0, 15, 16, escaped_slice, escaped_slice + 17, 30000}) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
      text += "ab<&\">cdefghijklmnopq"[i % 21];
    }
    html_buffer html;
    std::string expected = "<p>";
    add(html, "<p>");
    add_escaped(html, text);
    append_html_escaped(expected, text);
    add_escaped(html, text, html_use::attribute);
    append_html_escaped(expected, text, html_use::attribute);
    add_quote_escaped(html, text);
    expected += escape_quotes(text);
    appended_until(html, put_number(room_for(html, 20), 18446744073709551615ULL));
    expected += "18446744073709551615";
    std::ostringstream page;
    hand_over(html, page);
    EXPECT_EQ(expected, page.str()) << length;
    EXPECT_EQ(0U, html.used);
  }
}
