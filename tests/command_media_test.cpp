// Video and audio blocks as pages show them.
#include <gtest/gtest.h>

#include "scratch_run.h"

namespace {

std::string video(std::string_view src, std::string_view width, std::string_view height,
                  std::string_view attributes) {
  return "  <video src=\"" + std::string(src) +
         "\" class=\"video\" style=\"width: " + std::string(width) +
         "; height: " + std::string(height) + ";\" " + std::string(attributes) +
         ">\n  Your browser does not support the video tag.\n  </video>\n";
}

std::string audio(std::string_view src, std::string_view attributes) {
  return "  <audio src=\"" + std::string(src) + "\" class=\"audio\" " + std::string(attributes) +
         ">\n  Your browser does not support the audio tag.\n  </audio>\n";
}

}  // namespace

using MediaBlocks = ScratchRun;

TEST_F(MediaBlocks, VideoWritesPlayerFromItsSettings) {
  expect_pages({
      {"video_defaults", "@video\n@end_video\n", video("", "auto", "auto", "controls")},
      {"video_all_keys",
       "@video\n@@src a.mp4\n@@width 640\n@@height 80%\n@@autoplay true\n@@loop true\n@end_video\n",
       video("a.mp4", "640px", "80%", "controls autoplay muted loop")},
      {"video_url_writes_src", "@video\n@@src a.mp4\n@@url b.webm\n@end_video\n",
       video("b.webm", "auto", "auto", "controls")},
      {"video_unit_rule",
       "@video\n@@width Auto\n@@height 10em\n@end_video\n@video\n@@width \n"
       "@@height 360px\n@end_video\n",
       video("", "Autopx", "10empx", "controls") + video("", "px", "360px", "controls")},
      {"video_only_true_switches",
       "@video\n@@autoplay True\n@@loop 1\n@end_video\n@video\n@@autoplay true \n@@loop yes\n"
       "@end_video\n@video\n@@loop true\n@@loop false\n@@autoplay\n@end_video\n",
       video("", "auto", "auto", "controls") + video("", "auto", "auto", "controls") +
           video("", "auto", "auto", "controls")},
      {"video_escaping", "@video\n@@src a&b<c>\"d\n@@width 1\"\n@end_video\n",
       video("a&b<c>&quot;d", "1&quot;px", "auto", "controls")},
  });
}

TEST_F(MediaBlocks, AudioWritesPlayerFromItsSettings) {
  expect_pages({
      {"audio_defaults", "@audio\n@end_audio\n", audio("", "controls")},
      {"audio_switches",
       "@audio\n@@src a.ogg\n@@autoplay true\n@@loop true\n@end_audio\n@audio\n@@loop true\n"
       "@end_audio\n@audio\n@@autoplay True\n@@loop\n@end_audio\n",
       audio("a.ogg", "controls autoplay muted loop") + audio("", "controls loop") +
           audio("", "controls")},
      {"audio_url_writes_src", "@audio\n@@src a.ogg\n@@url b.mp3\n@end_audio\n",
       audio("b.mp3", "controls")},
      {"audio_has_no_size", "@audio\n@@width 300\n@@height 20\nsome text\n@end_audio\n",
       audio("", "controls")},
      {"audio_escaping", "@audio\n@@src a&b<c>\"d\n@end_audio\n",
       audio("a&b<c>&quot;d", "controls")},
  });
}
