// The video block kind.
#pragma once

#include <ostream>
#include <string>

#include "utils.h"

inline constexpr block_names video_block{"@video", "@end_video"};

// Handles one line routed to the video kind.
void command_video(const std::string& line, bool& in_block, std::ostream& page);
