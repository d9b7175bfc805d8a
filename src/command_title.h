// The title block: one heading of the class "title".
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names title_block{"@title", "@end_title"};

// The settings of a title block, as its setting lines gave them.
struct title_template_config {
  std::string size = "2.00rem";
  std::string color = "gray";
  std::string text = "Title";

  bool operator==(const title_template_config&) const = default;
};

// Handles one line routed to the title kind; its closing line writes the heading.
void command_title(std::string_view line, bool& in_block, page_context& context,
                   std::ostream& page);

// The setting keys of the title kind, in the order they are tried, each with the field of
// the block records that it fills.
std::span<const setting_key> title_settings(const prose_settings& prose);
