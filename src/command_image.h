// The image block kind.
#pragma once

#include <ostream>
#include <string>

#include "utils.h"

inline constexpr block_names image_block{"@image", "@end_image"};

// Handles one line routed to the image kind.
void command_image(const std::string& line, bool& in_block, std::ostream& page);
