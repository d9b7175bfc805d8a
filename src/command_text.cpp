#include "command_text.h"

#include "block_records.h"
#include "external_reads.h"
#include "framed_blocks.h"
#include "page_context.h"

namespace {

// The field of the text record that a key fills.
template <auto field>
constexpr auto text_field = &record_field<&block_records::text, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key text_keys[] = {
    {"@@width ", text_field<&text_template_config::width>},
    {"@@height ", text_field<&text_template_config::height>},
    {"@@size ", text_field<&text_template_config::size>},
    {"@@color ", text_field<&text_template_config::color>},
    {"@@src ", text_field<&text_template_config::src>},
    {"@@whitespace ", text_field<&text_template_config::whitespace>},
};

void take_text_line(std::string_view line, page_context& context) {
  if (!apply_setting(line, text_keys, context.records)) {
    add_line(context.records.text.lines, context.spare_lines, line);
  }
}

void write_text(page_context& context, std::ostream& page) {
  text_template_config& text_config = context.records.text;
  if (!text_config.src.empty() &&
      !load_external_lines(text_config.src, "text", text_config.lines, page, *context.errors)) {
    text_config.lines.push_back("[Error: External text file not found: " + text_config.src + "]");
  }
  if (text_config.lines.empty()) {
    return;
  }
  page << "  <div class=\"text\"" << panel_focus(page)
       << " style=\"width: " << escape_quotes(dimension_with_unit(text_config.width))
       << "; height: " << escape_quotes(dimension_with_unit(text_config.height))
       << "; font-size: " << escape_quotes(text_size_with_unit(text_config.size))
       << "; color: " << escape_quotes(text_config.color) << ";\">\n"
       << "    <table>\n";
  const std::string whitespace = escape_quotes(text_config.whitespace);
  write_rows(page, text_config.lines, context.rows,
             [&](std::string& rows, const std::string& line) {
               rows += "      <tr>\n        <td class=\"text-line-content\" style=\"white-space: ";
               rows += whitespace;
               rows += ";\">";
               if (line.empty()) {
                 rows += "&nbsp;";  // an empty cell would collapse the row
               } else {
                 append_html_escaped(rows, line);
               }
               rows += "</td>\n      </tr>\n";
             });
  page << "    </table>\n"
       << "  </div>\n";
}

}  // namespace

void command_text(const std::string& line, bool& in_block, page_context& context,
                  std::ostream& page) {
  follow_block_protocol(
      without_carriage_return(line), text_block, in_block, context.records.text,
      context.spare_lines, [&](std::string_view inner) { take_text_line(inner, context); },
      [&] { write_text(context, page); });
}

std::span<const setting_key> text_settings(const prose_settings&) {
  return text_keys;
}
