#include "command_title.h"

#include "block_records.h"

namespace {

title_template_config& title_config = run_records.title;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key title_keys[] = {
    {"@@size ", &title_config.size},
    {"@@color ", &title_config.color},
    {"@@text ", &title_config.text},
};

void write_title(std::ostream& page) {
  page << "  <h1 class=\"title\" style=\"font-size: "
       << escape_quotes(font_size_with_unit(title_config.size))
       << "; color: " << escape_quotes(title_config.color) << ";\">"
       << html_escape(title_config.text) << "  </h1>\n";
}

}  // namespace

void command_title(const std::string& line, bool& in_block, std::ostream& page) {
  follow_block_protocol(
      without_carriage_return(line), title_block, in_block, title_config,
      [](std::string_view setting) { apply_setting(setting, title_keys); },
      [&page] { write_title(page); });
}

std::span<const setting_key> title_settings() {
  return title_keys;
}
