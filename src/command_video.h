// The video block: a video player of the class "video".
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names video_block{"@video", "@end_video"};

// The settings of a video block, as its setting lines gave them.
struct video_template_config {
  std::string src;
  std::string width = "auto";
  std::string height = "auto";
  bool autoplay = false;
  bool loop = false;

  bool operator==(const video_template_config&) const = default;
};

// Handles one line routed to the video kind; its closing line writes the player.
void command_video(std::string_view line, bool& in_block, page_context& context,
                   std::ostream& page);

// The setting keys of the video kind, in the order they are tried, each with the field of
// the block records that it fills.
std::span<const setting_key> video_settings(const prose_settings& prose);
