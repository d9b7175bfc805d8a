// The audio block kind.
#pragma once

#include <ostream>
#include <string>

#include "utils.h"

inline constexpr block_names audio_block{"@audio", "@end_audio"};

// Handles one line routed to the audio kind.
void command_audio(const std::string& line, bool& in_block, std::ostream& page);
