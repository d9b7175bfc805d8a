#include "command_link.h"

#include "block_records.h"

namespace {

link_template_config& link_config = run_records.link;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key link_keys[] = {
    {"@@url ", &link_config.url},
    {"@@text ", &link_config.text},
    {"@@target ", &link_config.target},
    {"@@size ", &link_config.size},
};

void write_link(std::ostream& page) {
  page << "  <a href=\"" << escape_quotes(link_config.url) << "\" target=\""
       << escape_quotes(link_config.target) << "\" class=\"link\"";
  if (!link_config.size.empty()) {
    page << " style=\"font-size: " << escape_quotes(font_size_with_unit(link_config.size)) << ";\"";
  }
  page << ">" << html_escape(link_config.text) << "</a>\n";
}

}  // namespace

void command_link(const std::string& line, bool& in_block, std::ostream& page) {
  follow_block_protocol(
      line, link_block, in_block, link_config,
      [](std::string_view setting) { apply_setting(setting, link_keys); },
      [&page] { write_link(page); });
}

std::span<const setting_key> link_settings() {
  return link_keys;
}
