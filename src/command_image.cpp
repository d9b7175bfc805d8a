#include "command_image.h"

#include "block_records.h"

namespace {

image_template_config& image_config = run_records.image;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key image_keys[] = {
    {"@@src ", &image_config.src},       {"@@url ", &image_config.src},
    {"@@alt ", &image_config.alt},       {"@@width ", &image_config.width},
    {"@@height ", &image_config.height},
};

void write_image(std::ostream& page) {
  page << "  <img src=\"" << escape_quotes(image_config.src) << "\" alt=\""
       << escape_quotes(html_escape(image_config.alt)) << "\" class=\"image\" style=\"width: "
       << escape_quotes(dimension_with_unit(image_config.width))
       << "; height: " << escape_quotes(dimension_with_unit(image_config.height)) << ";\">\n";
}

}  // namespace

void command_image(const std::string& line, bool& in_block, std::ostream& page) {
  follow_block_protocol(
      line, image_block, in_block, image_config,
      [](std::string_view setting) { apply_setting(setting, image_keys); },
      [&page] { write_image(page); });
}

std::span<const setting_key> image_settings() {
  return image_keys;
}
