// The PDF block: a document viewer on desktops and a button on phones and tablets.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names pdf_block{"@pdf", "@end_pdf"};

// The settings of a PDF block, as its setting lines gave them.
struct pdf_template_config {
  std::string src;
  std::string width = "1000px";
  std::string height = "480px";
  std::string buttontext = "View / Download PDF Document";

  bool operator==(const pdf_template_config&) const = default;
};

// Handles one line routed to the PDF kind; its closing line writes the viewer, the button and
// the script that chooses between them, numbered across the whole run.
void command_pdf(std::string_view line, bool& in_block, page_context& context, std::ostream& page);

// The setting keys of the PDF kind, in the order they are tried, each with the field of
// the block records that it fills.
std::span<const setting_key> pdf_settings(const prose_settings& prose);
