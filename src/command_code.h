// The code block: a numbered listing, given inline or read from a source file.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "block_lines.h"
#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names code_block{"@code", "@end_code"};

// The settings and content lines of a code block.
struct code_template_config {
  std::string width = "auto";
  std::string height = "auto";
  std::string src;       // an external file whose lines replace the inline ones; empty for none
  std::string language;  // with settings: the language to colour the lines in; empty for none
  block_lines lines;

  bool operator==(const code_template_config&) const = default;
};

// Handles one line routed to the code kind; its closing line writes the listing.
void command_code(std::string_view line, bool& in_block, page_context& context, std::ostream& page);

// With settings, writes the page body of a source file named `file_name`: a heading with its name
// and its lines from `source` as a numbered listing in its language.
void write_source_listing(std::istream& source, std::string_view file_name, page_context& context,
                          std::ostream& page);

// The setting keys of the code kind, in the order they are tried, each with the field of
// the block records that it fills.
std::span<const setting_key> code_settings(const prose_settings& prose);
