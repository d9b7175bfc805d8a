// The title block kind.
#pragma once

#include <ostream>
#include <string>

#include "utils.h"

inline constexpr block_names title_block{"@title", "@end_title"};

// Handles one line routed to the title kind.
void command_title(const std::string& line, bool& in_block, std::ostream& page);
