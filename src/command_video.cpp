#include "command_video.h"

#include "block_records.h"

namespace {

video_template_config& video_config = run_records.video;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key video_keys[] = {
    {"@@src ", &video_config.src},           {"@@url ", &video_config.src},
    {"@@width ", &video_config.width},       {"@@height ", &video_config.height},
    {"@@autoplay ", &video_config.autoplay}, {"@@loop ", &video_config.loop},
};

void write_video(std::ostream& page) {
  page << "  <video src=\"" << escape_quotes(video_config.src)
       << "\" class=\"video\" style=\"width: "
       << escape_quotes(dimension_with_unit(video_config.width))
       << "; height: " << escape_quotes(dimension_with_unit(video_config.height)) << ";\" "
       << media_attributes(video_config.autoplay, video_config.loop) << ">\n"
       << "  Your browser does not support the video tag.\n"
       << "  </video>\n";
}

}  // namespace

void command_video(const std::string& line, bool& in_block, std::ostream& page) {
  follow_block_protocol(
      line, video_block, in_block, video_config,
      [](std::string_view setting) { apply_setting(setting, video_keys); },
      [&page] { write_video(page); });
}

std::span<const setting_key> video_settings() {
  return video_keys;
}
