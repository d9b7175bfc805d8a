// The download block kind.
#pragma once

#include <ostream>
#include <string>

#include "utils.h"

inline constexpr block_names download_block{"@download", "@end_download"};

// Handles one line routed to the download kind.
void command_download(const std::string& line, bool& in_block, std::ostream& page);
