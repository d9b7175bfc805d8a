// The audio block: an audio player of the class "audio".
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names audio_block{"@audio", "@end_audio"};

// The settings of an audio block, as its setting lines gave them.
struct audio_template_config {
  std::string src;
  bool autoplay = false;
  bool loop = false;

  bool operator==(const audio_template_config&) const = default;
};

// Handles one line routed to the audio kind; its closing line writes the player.
void command_audio(std::string_view line, bool& in_block, page_context& context,
                   std::ostream& page);

// The setting keys of the audio kind, in the order they are tried, each with the field of
// the block records that it fills.
std::span<const setting_key> audio_settings(const prose_settings& prose);
