#include "command_audio.h"

#include "block_records.h"
#include "html_buffer.h"
#include "page_context.h"

namespace {

// The field of the audio record that a key fills.
template <auto field>
constexpr auto audio_field = &record_field<&block_records::audio, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key audio_keys[] = {
    {"@@src ", audio_field<&audio_template_config::src>},
    {"@@url ", audio_field<&audio_template_config::src>},
    {"@@autoplay ", audio_field<&audio_template_config::autoplay>},
    {"@@loop ", audio_field<&audio_template_config::loop>},
};

void write_audio(const audio_template_config& audio_config, std::ostream& page) {
  page << "  <audio src=\"" << escape_quotes(audio_config.src) << "\" class=\"audio\" "
       << media_attributes(audio_config.autoplay, audio_config.loop) << ">\n"
       << "  Your browser does not support the audio tag.\n"
       << "  </audio>\n";
}

}  // namespace

void command_audio(std::string_view line, bool& in_block, page_context& context,
                   std::ostream& page) {
  audio_template_config& audio_config = context.records.audio;
  follow_block_protocol(
      line, audio_block, in_block, audio_config,
      [&](std::string_view setting) { apply_setting(setting, audio_keys, context.records); },
      [&] {
        hand_over(context.html, page);  // the page so far, before it is written directly
        write_audio(audio_config, page);
      });
}

std::span<const setting_key> audio_settings(const prose_settings&) {
  return audio_keys;
}
