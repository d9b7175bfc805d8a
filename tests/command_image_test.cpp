// Image blocks as pages show them.
#include <gtest/gtest.h>

#include "scratch_run.h"

namespace {

std::string image(std::string_view src, std::string_view alt, std::string_view width,
                  std::string_view height) {
  return "  <img src=\"" + std::string(src) + "\" alt=\"" + std::string(alt) +
         "\" class=\"image\" style=\"width: " + std::string(width) +
         "; height: " + std::string(height) + ";\">\n";
}

}  // namespace

using ImageBlock = ScratchRun;

TEST_F(ImageBlock, WritesOneImageFromItsSettings) {
  expect_pages({
      {"defaults", "@image\n@end_image\n", image("", "Image", "auto", "auto")},
      {"all_keys",
       "@image\n@@src img/a.png\n@@alt A picture\n@@width 640\n@@height 80%\n@end_image\n",
       image("img/a.png", "A picture", "640px", "80%")},
      {"url_writes_src_too", "@image\n@@src first.png\n@@url second.png\n@end_image\n",
       image("second.png", "Image", "auto", "auto")},
      {"unit_rule",
       "@image\n@@width 640px\n@@height auto\n@end_image\n@image\n@@width 10em\n@@height Auto\n"
       "@end_image\n@image\n@@width \n@@height  5\n@end_image\n",
       image("", "Image", "640px", "auto") + image("", "Image", "10empx", "Autopx") +
           image("", "Image", "px", " 5px")},
      {"escaping", "@image\n@@src a&b<c>\"d.png\n@@alt <x> & \"y\"\n@@width 1\"0\n@end_image\n",
       image("a&b<c>&quot;d.png", "&lt;x&gt; &amp; &quot;y&quot;", "1&quot;0px", "auto")},
      {"unknown_keys", "@image\n@@src\n@@Alt x\n@@alts x\n@end_image\n",
       image("", "Image", "auto", "auto")},
  });
}
