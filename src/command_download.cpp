#include "command_download.h"

#include "block_records.h"

namespace {

download_template_config& download_config = run_records.download;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key download_keys[] = {
    {"@@url ", &download_config.url},
    {"@@src ", &download_config.url},
    {"@@text ", &download_config.text},
};

void write_download(std::ostream& page) {
  page << "  <a href=\"" << escape_quotes(download_config.url)
       << "\" class=\"download-btn\" download>" << html_escape(download_config.text) << "</a>\n";
}

}  // namespace

void command_download(const std::string& line, bool& in_block, std::ostream& page) {
  follow_block_protocol(
      line, download_block, in_block, download_config,
      [](std::string_view setting) { apply_setting(setting, download_keys); },
      [&page] { write_download(page); });
}

std::span<const setting_key> download_settings() {
  return download_keys;
}
