// The link block: one hyperlink of the class "link".
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names link_block{"@link", "@end_link"};

// The settings of a link block, as its setting lines gave them.
struct link_template_config {
  std::string url = "#";
  std::string text = "Link";
  std::string target = "_self";
  std::string size = "16px";  // empty: no style attribute at all

  bool operator==(const link_template_config&) const = default;
};

// Handles one line routed to the link kind; its closing line writes the link.
void command_link(std::string_view line, bool& in_block, page_context& context, std::ostream& page);

// The setting keys of the link kind, in the order they are tried, each with the field of
// the block records that it fills.
std::span<const setting_key> link_settings(const prose_settings& prose);
