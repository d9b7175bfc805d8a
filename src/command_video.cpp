#include "command_video.h"

#include "block_records.h"
#include "html_buffer.h"
#include "page_context.h"

namespace {

// The field of the video record that a key fills.
template <auto field>
constexpr auto video_field = &record_field<&block_records::video, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key video_keys[] = {
    {"@@src ", video_field<&video_template_config::src>},
    {"@@url ", video_field<&video_template_config::src>},
    {"@@width ", video_field<&video_template_config::width>},
    {"@@height ", video_field<&video_template_config::height>},
    {"@@autoplay ", video_field<&video_template_config::autoplay>},
    {"@@loop ", video_field<&video_template_config::loop>},
};

void write_video(const video_template_config& video_config, std::ostream& page) {
  page << "  <video src=\"" << escape_quotes(video_config.src)
       << "\" class=\"video\" style=\"width: "
       << escape_quotes(dimension_with_unit(video_config.width))
       << "; height: " << escape_quotes(dimension_with_unit(video_config.height)) << ";\" "
       << media_attributes(video_config.autoplay, video_config.loop) << ">\n"
       << "  Your browser does not support the video tag.\n"
       << "  </video>\n";
}

}  // namespace

void command_video(std::string_view line, bool& in_block, page_context& context,
                   std::ostream& page) {
  video_template_config& video_config = context.records.video;
  follow_block_protocol(
      line, video_block, in_block, video_config,
      [&](std::string_view setting) { apply_setting(setting, video_keys, context.records); },
      [&] {
        hand_over(context.html, page);  // the page so far, before it is written directly
        write_video(video_config, page);
      });
}

std::span<const setting_key> video_settings(const prose_settings&) {
  return video_keys;
}
