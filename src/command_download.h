// The download block: one button that asks the browser to save a file.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names download_block{"@download", "@end_download"};

// The settings of a download block, as its setting lines gave them.
struct download_template_config {
  std::string url = "#";
  std::string text = "Download";

  bool operator==(const download_template_config&) const = default;
};

// Handles one line routed to the download kind; its closing line writes the button.
void command_download(std::string_view line, bool& in_block, page_context& context,
                      std::ostream& page);

// The setting keys of the download kind, in the order they are tried, each with the field of
// the block records that it fills.
std::span<const setting_key> download_settings(const prose_settings& prose);
