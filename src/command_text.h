// The text block: a panel of preformatted lines, given inline or read from a file.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "block_lines.h"
#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names text_block{"@text", "@end_text"};

// The settings and content lines of a text block.
struct text_template_config {
  std::string width = "auto";
  std::string height = "auto";
  std::string size = "16";
  std::string color = "#d4d4d4";
  std::string src;  // an external file whose lines replace the inline ones; empty for none
  std::string whitespace = "pre";
  block_lines lines;

  bool operator==(const text_template_config&) const = default;
};

// Handles one line routed to the text kind; its closing line writes the panel.
void command_text(std::string_view line, bool& in_block, page_context& context, std::ostream& page);

// The setting keys of the text panel kind, in the order they are tried, each with the field of
// the block records that it fills.
std::span<const setting_key> text_settings(const prose_settings& prose);
