#include "command_text.h"

#include "block_records.h"
#include "external_reads.h"
#include "framed_blocks.h"
#include "html_buffer.h"
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
    add_line(context, context.records.text.lines, line);
  }
}

// Appends the row of the panel for `line`, its cell in the white-space mode `whitespace` (quotes
// escaped), in room made once: what escaping may store past its end, the end overwrites.
void add_row(html_buffer& html, std::string_view whitespace, std::string_view line) {
  constexpr std::string_view start =
      "      <tr>\n        <td class=\"text-line-content\" style=\"white-space: ";
  constexpr std::string_view middle = ";\">";
  constexpr std::string_view end = "</td>\n      </tr>\n";
  constexpr std::string_view empty_cell = "&nbsp;";  // an empty cell would collapse the row
  if (line.size() > escaped_slice) {
    add(html, start);
    add(html, whitespace);
    add(html, middle);
    add_escaped(html, line);
    add(html, end);
    return;
  }
  char* at = room_for(html, start.size() + whitespace.size() + middle.size() +
                                html_escaped_room(line.size()) + empty_cell.size() + end.size());
  at = put(put(put(at, start), whitespace), middle);
  at = line.empty() ? put(at, empty_cell) : write_html_escaped(at, line);
  appended_until(html, put(at, end));
}

// Appends a row of the panel for each of its lines.
void add_rows(html_buffer& html, const text_template_config& text_config, std::ostream& page) {
  const std::string whitespace = escape_quotes(text_config.whitespace);
  for (const std::string_view line : text_config.lines) {
    add_row(html, whitespace, line);
    hand_over_piece(html, page);
  }
}

void write_text(page_context& context, std::ostream& page) {
  text_template_config& text_config = context.records.text;
  if (context.start_unknown && !text_config.src.empty()) {
    context.start_needed = true;  // the file is read at the page's turn
    return;
  }
  if (!text_config.src.empty()) {
    hand_over(context.html, page);  // what the page holds reaches its stream before a file is read
    if (!load_external_lines(text_config.src, "text", text_config.lines, page, *context.errors)) {
      add_copy(text_config.lines, "[Error: External text file not found: " + text_config.src + "]");
    }
  }
  if (text_config.lines.empty() || page.rdbuf() == nullptr) {
    return;  // nothing to show, or a page written into nothing, as check reads pages
  }
  html_buffer& html = context.html;
  add(html, "  <div class=\"text\"");
  add(html, panel_focus(page));
  add(html, " style=\"");
  add_size_style(html, text_config.width, text_config.height);
  add(html, "; font-size: ");
  add_quote_escaped(html, text_size_with_unit(text_config.size));
  add(html, "; color: ");
  add_quote_escaped(html, text_config.color);
  add(html, ";\">\n    <table>\n");
  add_rows(html, text_config, page);
  add(html, "    </table>\n  </div>\n");
  hand_over_piece(html, page);
}

}  // namespace

void command_text(std::string_view line, bool& in_block, page_context& context,
                  std::ostream& page) {
  follow_block_protocol(
      without_carriage_return(line), text_block, in_block, context.records.text,
      [&](std::string_view inner) { take_text_line(inner, context); },
      [&] { write_text(context, page); });
}

std::span<const setting_key> text_settings(const prose_settings&) {
  return text_keys;
}
