// The pdf block kind.
#pragma once

#include <ostream>
#include <string>

#include "utils.h"

inline constexpr block_names pdf_block{"@pdf", "@end_pdf"};

// Handles one line routed to the pdf kind.
void command_pdf(const std::string& line, bool& in_block, std::ostream& page);
