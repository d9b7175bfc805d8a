#include "command_image.h"

#include "block_records.h"
#include "html_buffer.h"
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

void write_image(const image_template_config& image_config, html_buffer& html, std::ostream& page) {
  if (page.rdbuf() == nullptr) {
    return;  // a page written into nothing, as check reads pages
  }
  add(html, "  <img src=\"");
  add_quote_escaped(html, image_config.src);
  add(html, "\" alt=\"");
  add_escaped(html, image_config.alt, html_use::attribute);  // its quotes as escape_quotes writes
  add(html, "\" class=\"image\" style=\"");
  add_size_style(html, image_config.width, image_config.height);
  add(html, ";\">\n");
  hand_over_piece(html, page);
}

}  // namespace

void command_image(std::string_view line, bool& in_block, page_context& context,
                   std::ostream& page) {
  image_template_config& image_config = context.records.image;
  follow_block_protocol(
      line, image_block, in_block, image_config,
      [&](std::string_view setting) { apply_setting(setting, image_keys, context.records); },
      [&] { write_image(image_config, context.html, page); });
}

std::span<const setting_key> image_settings(const prose_settings&) {
  return image_keys;
}
