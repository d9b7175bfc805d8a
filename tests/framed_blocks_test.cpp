// In a site with settings, text and code panels take the keyboard's focus and a PDF frame is named
// after its button; without settings the blocks stay exactly as they were.
#include <gtest/gtest.h>

#include "scratch_run.h"

namespace {

constexpr const char* blocks_page =
    "@text\nwords\n@end_text\n"
    "@code\nint x;\n@end_code\n"
    "@pdf\n@@src a.pdf\n@@buttontext Open \"A\" & <B>\n@end_pdf\n";

// The opening tags, as a site with settings writes them and as a site without does.
constexpr struct {
  const char* framed;
  const char* plain;
} tags[] = {
    {"<div class=\"text\" tabindex=\"0\" style=\"width: auto;",
     "<div class=\"text\" style=\"width: auto;"},
    {"<pre class=\"code\" tabindex=\"0\" style=\"width: auto;",
     "<pre class=\"code\" style=\"width: auto;"},
    {"class=\"pdf pc-only-pdf\" title=\"Open &quot;A&quot; &amp; &lt;B&gt;\" style=\"width: "
     "1000px;",
     "class=\"pdf pc-only-pdf\" style=\"width: 1000px;"},
};

}  // namespace

using FramedBlocks = ScratchRun;

TEST_F(FramedBlocks, PanelsTakeFocusAndFramesAreNamedOnlyWithSettings) {
  write_project({{"index.orv", blocks_page}});
  ASSERT_EQ(0, run().exit_status);
  const std::string plain = read("site/index.htm");
  write("orvello.toml", "");
  ASSERT_EQ(0, run().exit_status);
  const std::string framed = read("site/index.htm");
  for (const auto& tag : tags) {
    EXPECT_NE(std::string::npos, framed.find(tag.framed)) << tag.framed;
    EXPECT_EQ(std::string::npos, framed.find(tag.plain)) << tag.plain;
    EXPECT_NE(std::string::npos, plain.find(tag.plain)) << tag.plain;
    EXPECT_EQ(std::string::npos, plain.find(tag.framed)) << tag.framed;
  }
}
