#include "command_link.h"

#include "block_records.h"
#include "html_buffer.h"
#include "page_context.h"

namespace {

// The field of the link record that a key fills.
template <auto field>
constexpr auto link_field = &record_field<&block_records::link, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key link_keys[] = {
    {"@@url ", link_field<&link_template_config::url>},
    {"@@text ", link_field<&link_template_config::text>},
    {"@@target ", link_field<&link_template_config::target>},
    {"@@size ", link_field<&link_template_config::size>},
};

void write_link(const link_template_config& link_config, html_buffer& html, std::ostream& page) {
  if (page.rdbuf() == nullptr) {
    return;  // a page written into nothing, as check reads pages
  }
  add(html, "  <a href=\"");
  add_quote_escaped(html, link_config.url);
  add(html, "\" target=\"");
  add_quote_escaped(html, link_config.target);
  add(html, "\" class=\"link\"");
  if (!link_config.size.empty()) {
    add(html, " style=\"font-size: ");
    add_quote_escaped(html, font_size_with_unit(link_config.size));
    add(html, ";\"");
  }
  add(html, ">");
  add_escaped(html, link_config.text);
  add(html, "</a>\n");
  hand_over_piece(html, page);
}

}  // namespace

void command_link(std::string_view line, bool& in_block, page_context& context,
                  std::ostream& page) {
  link_template_config& link_config = context.records.link;
  follow_block_protocol(
      line, link_block, in_block, link_config,
      [&](std::string_view setting) { apply_setting(setting, link_keys, context.records); },
      [&] { write_link(link_config, context.html, page); });
}

std::span<const setting_key> link_settings(const prose_settings&) {
  return link_keys;
}
