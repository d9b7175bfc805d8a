// Download blocks as pages show them.
#include <gtest/gtest.h>

#include "scratch_run.h"

namespace {

std::string button(std::string_view url, std::string_view text) {
  return "  <a href=\"" + std::string(url) + "\" class=\"download-btn\" download>" +
         std::string(text) + "</a>\n";
}

}  // namespace

using DownloadBlock = ScratchRun;

TEST_F(DownloadBlock, WritesOneButtonFromItsSettings) {
  expect_pages({
      {"defaults", "@download\n@end_download\n", button("#", "Download")},
      {"both_keys", "@download\n@@url files/a.zip\n@@text Get it\n@end_download\n",
       button("files/a.zip", "Get it")},
      {"src_and_url_share_a_field", "@download\n@@src a.zip\n@@url b.zip\n@end_download\n",
       button("b.zip", "Download")},
      {"empty_and_spaced",
       "@download\n@@text \n@end_download\n@download\n@@text  x\n@end_download\n",
       button("#", "") + button("#", " x")},
      {"escaping", "@download\n@@url a&b<c>\"d\n@@text <b> & \"q\"\n@end_download\n",
       button("a&b<c>&quot;d", "&lt;b&gt; &amp; \"q\"")},
      {"unknown_keys", "@download\n@@url\n@@Text x\n@@texts x\n@end_download\n",
       button("#", "Download")},
  });
}
