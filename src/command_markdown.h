// The Markdown block (sites with settings only): prose written in Markdown, given inline or read
// from a file beside the page.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "block_lines.h"
#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names markdown_block{"@markdown", "@end_markdown"};

// The settings and content lines of a Markdown block.
struct markdown_template_config {
  std::string src;       // a Markdown file whose lines replace the inline ones; empty for none
  std::string language;  // the language of code spans and unmarked fences; empty for plain
  block_lines lines;

  bool operator==(const markdown_template_config&) const = default;
};

// Handles one line routed to the Markdown kind; its closing line writes the prose.
void command_markdown(std::string_view line, bool& in_block, page_context& context,
                      std::ostream& page);

// The setting keys of the Markdown kind, in the order they are tried, each with the field of the
// block records that it fills.
std::span<const setting_key> markdown_settings(const prose_settings& prose);

// The text of a Markdown block's lines, each ended by a newline.
std::string markdown_text(const block_lines& lines);
