#include "command_audio.h"

#include "block_records.h"

namespace {

audio_template_config& audio_config = run_records.audio;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key audio_keys[] = {
    {"@@src ", &audio_config.src},
    {"@@url ", &audio_config.src},
    {"@@autoplay ", &audio_config.autoplay},
    {"@@loop ", &audio_config.loop},
};

void write_audio(std::ostream& page) {
  page << "  <audio src=\"" << escape_quotes(audio_config.src) << "\" class=\"audio\" "
       << media_attributes(audio_config.autoplay, audio_config.loop) << ">\n"
       << "  Your browser does not support the audio tag.\n"
       << "  </audio>\n";
}

}  // namespace

void command_audio(const std::string& line, bool& in_block, std::ostream& page) {
  follow_block_protocol(
      line, audio_block, in_block, audio_config,
      [](std::string_view setting) { apply_setting(setting, audio_keys); },
      [&page] { write_audio(page); });
}

std::span<const setting_key> audio_settings() {
  return audio_keys;
}
