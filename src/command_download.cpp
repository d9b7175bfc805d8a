#include "command_download.h"

#include "block_records.h"
#include "html_buffer.h"
#include "page_context.h"

namespace {

// The field of the download record that a key fills.
template <auto field>
constexpr auto download_field = &record_field<&block_records::download, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key download_keys[] = {
    {"@@url ", download_field<&download_template_config::url>},
    {"@@src ", download_field<&download_template_config::url>},
    {"@@text ", download_field<&download_template_config::text>},
};

void write_download(const download_template_config& download_config, std::ostream& page) {
  page << "  <a href=\"" << escape_quotes(download_config.url)
       << "\" class=\"download-btn\" download>" << html_escape(download_config.text) << "</a>\n";
}

}  // namespace

void command_download(std::string_view line, bool& in_block, page_context& context,
                      std::ostream& page) {
  download_template_config& download_config = context.records.download;
  follow_block_protocol(
      line, download_block, in_block, download_config,
      [&](std::string_view setting) { apply_setting(setting, download_keys, context.records); },
      [&] {
        hand_over(context.html, page);  // the page so far, before it is written directly
        write_download(download_config, page);
      });
}

std::span<const setting_key> download_settings(const prose_settings&) {
  return download_keys;
}
