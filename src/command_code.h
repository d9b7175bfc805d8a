// The code block kind.
#pragma once

#include <ostream>
#include <string>

#include "utils.h"

inline constexpr block_names code_block{"@code", "@end_code"};

// Handles one line routed to the code kind.
void command_code(const std::string& line, bool& in_block, std::ostream& page);
