// The link block kind.
#pragma once

#include <ostream>
#include <string>

#include "utils.h"

inline constexpr block_names link_block{"@link", "@end_link"};

// Handles one line routed to the link kind.
void command_link(const std::string& line, bool& in_block, std::ostream& page);
