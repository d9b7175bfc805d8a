// The image block: one picture of the class "image".
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "utils.h"

struct page_context;
struct prose_settings;

inline constexpr block_names image_block{"@image", "@end_image"};

// The settings of an image block, as its setting lines gave them.
struct image_template_config {
  std::string src;
  std::string alt = "Image";
  std::string width = "auto";
  std::string height = "auto";

  bool operator==(const image_template_config&) const = default;
};

// Handles one line routed to the image kind; its closing line writes the picture.
void command_image(std::string_view line, bool& in_block, page_context& context,
                   std::ostream& page);

// The setting keys of the image kind, in the order they are tried, each with the field of
// the block records that it fills.
std::span<const setting_key> image_settings(const prose_settings& prose);
