#include "command_image.h"

#include "block_records.h"
#include "page_context.h"

namespace {

// The field of the image record that a key fills.
template <auto field>
constexpr auto image_field = &record_field<&block_records::image, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key image_keys[] = {
    {"@@src ", image_field<&image_template_config::src>},
    {"@@url ", image_field<&image_template_config::src>},
    {"@@alt ", image_field<&image_template_config::alt>},
    {"@@width ", image_field<&image_template_config::width>},
    {"@@height ", image_field<&image_template_config::height>},
};

void write_image(const image_template_config& image_config, std::ostream& page) {
  page << "  <img src=\"" << escape_quotes(image_config.src) << "\" alt=\""
       << escape_quotes(html_escape(image_config.alt)) << "\" class=\"image\" style=\"width: "
       << escape_quotes(dimension_with_unit(image_config.width))
       << "; height: " << escape_quotes(dimension_with_unit(image_config.height)) << ";\">\n";
}

}  // namespace

void command_image(const std::string& line, bool& in_block, page_context& context,
                   std::ostream& page) {
  image_template_config& image_config = context.records.image;
  follow_block_protocol(
      line, image_block, in_block, image_config, context.spare_lines,
      [&](std::string_view setting) { apply_setting(setting, image_keys, context.records); },
      [&] { write_image(image_config, page); });
}

std::span<const setting_key> image_settings(const prose_settings&) {
  return image_keys;
}
