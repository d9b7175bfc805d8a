// The text block kind.
#pragma once

#include <ostream>
#include <string>

#include "utils.h"

inline constexpr block_names text_block{"@text", "@end_text"};

// Handles one line routed to the text kind.
void command_text(const std::string& line, bool& in_block, std::ostream& page);
