#include "command_title.h"

#include "block_records.h"
#include "html_buffer.h"
#include "page_context.h"

namespace {

// The field of the title record that a key fills.
template <auto field>
constexpr auto title_field = &record_field<&block_records::title, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key title_keys[] = {
    {"@@size ", title_field<&title_template_config::size>},
    {"@@color ", title_field<&title_template_config::color>},
    {"@@text ", title_field<&title_template_config::text>},
};

void write_title(const title_template_config& title_config, html_buffer& html, std::ostream& page) {
  if (page.rdbuf() == nullptr) {
    return;  // a page written into nothing, as check reads pages
  }
  add(html, "  <h1 class=\"title\" style=\"font-size: ");
  add_quote_escaped(html, font_size_with_unit(title_config.size));
  add(html, "; color: ");
  add_quote_escaped(html, title_config.color);
  add(html, ";\">");
  add_escaped(html, title_config.text);
  add(html, "  </h1>\n");
  hand_over_piece(html, page);
}

}  // namespace

void command_title(std::string_view line, bool& in_block, page_context& context,
                   std::ostream& page) {
  title_template_config& title_config = context.records.title;
  follow_block_protocol(
      without_carriage_return(line), title_block, in_block, title_config,
      [&](std::string_view setting) { apply_setting(setting, title_keys, context.records); },
      [&] { write_title(title_config, context.html, page); });
}

std::span<const setting_key> title_settings(const prose_settings&) {
  return title_keys;
}
