#include "command_code.h"

#include <cstdint>
#include <filesystem>
#include <optional>

#include "block_records.h"
#include "external_reads.h"
#include "framed_blocks.h"
#include "highlight.h"
#include "html_buffer.h"
#include "listing_frame.h"
#include "page_context.h"
#include "prose_settings.h"

namespace {

// The field of the code record that a key fills.
template <auto field>
constexpr auto code_field = &record_field<&block_records::code, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key code_keys[] = {
    {"@@width ", code_field<&code_template_config::width>},
    {"@@height ", code_field<&code_template_config::height>},
    {"@@src ", code_field<&code_template_config::src>},
    {"@@language ", code_field<&code_template_config::language>},  // with settings only
};

void take_code_line(std::string_view line, page_context& context) {
  if (!apply_setting(line, code_settings(context.prose), context.records)) {
    add_line(context, context.records.code.lines, line);
  }
}

// The language a listing is coloured in: its own setting, else its file's; none without
// settings.
std::optional<std::string> listing_language(const code_template_config& config,
                                            page_context& context) {
  if (!context.prose.enabled || (config.language.empty() && config.src.empty())) {
    return std::nullopt;
  }
  context.language_looked_up = true;
  return config.language.empty() ? language_of_file(config.src) : find_language(config.language);
}

// Appends the row of a listing's line `number`: `line` escaped, or its `coloured` HTML.
void add_row(html_buffer& html, std::uint64_t number, std::string_view line,
             const std::string* coloured) {
  constexpr std::string_view start = "    <tr>\n      <td class=\"code-line-number\">";
  constexpr std::string_view middle = "</td>\n      <td class=\"code-line-content\"><code>";
  constexpr std::string_view end = "</code></td>\n    </tr>\n";
  if (coloured != nullptr || line.size() > escaped_slice) {
    add(html, start);
    appended_until(html, put_number(room_for(html, 20), number));
    add(html, middle);
    coloured != nullptr ? add(html, *coloured) : add_escaped(html, line);
    add(html, end);
    return;
  }
  // The common row in room made once: what escaping may store past its end, the end overwrites.
  char* at = room_for(
      html, start.size() + 20 + middle.size() + html_escaped_room(line.size()) + end.size());
  at = put(put_number(put(at, start), number), middle);
  appended_until(html, put(write_html_escaped(at, line), end));
}

// Appends the rows of a numbered listing of `lines`, coloured where `coloured` holds a line.
void add_rows(html_buffer& html, const block_lines& lines, const std::vector<std::string>& coloured,
              std::ostream& page) {
  std::uint64_t number = 0;
  for (const std::string_view line : lines) {
    ++number;
    add_row(html, number, line, number <= coloured.size() ? &coloured[number - 1] : nullptr);
    hand_over_piece(html, page);
  }
}

// Writes `lines` as a numbered listing; with settings inside a listing's figure and coloured in
// `language` when there is one.
void write_listing(std::ostream& page, const block_lines& lines,
                   const std::optional<std::string>& language, const code_template_config& config,
                   page_context& context) {
  if (page.rdbuf() == nullptr) {
    return;  // a page written into nothing, as check reads pages
  }
  const std::vector<std::string> coloured =
      language
          ? highlight_lines(*language, std::vector<std::string_view>(lines.begin(), lines.end()))
          : std::vector<std::string>{};
  html_buffer& html = context.html;
  if (context.prose.enabled) {
    open_listing_figure(html, language.value_or(""));
  }
  add(html, "  <pre class=\"code\"");
  add(html, panel_focus(page));
  add(html, " style=\"");
  add_size_style(html, config.width, config.height);
  add(html, ";\"><table>\n");
  add_rows(html, lines, coloured, page);
  add(html, "  </table></pre>\n");
  if (context.prose.enabled) {
    close_listing_figure(html);
  }
  hand_over_piece(html, page);
}

void write_code(page_context& context, std::ostream& page) {
  code_template_config& code_config = context.records.code;
  if (context.start_unknown && !code_config.src.empty()) {
    context.start_needed = true;  // the file is read at the page's turn
    return;
  }
  if (!code_config.src.empty()) {
    hand_over(context.html, page);  // what the page holds reaches its stream before a file is read
    if (!load_external_lines(code_config.src, "code", code_config.lines, page, *context.errors)) {
      add_copy(code_config.lines, "// Error: External file not found: " + code_config.src);
    }
  }
  if (code_config.lines.empty()) {
    return;
  }
  write_listing(page, code_config.lines, listing_language(code_config, context), code_config,
                context);
}

}  // namespace

void command_code(std::string_view line, bool& in_block, page_context& context,
                  std::ostream& page) {
  follow_block_protocol(
      without_carriage_return(line), code_block, in_block, context.records.code,
      [&](std::string_view inner) { take_code_line(inner, context); },
      [&] { write_code(context, page); });
}

std::span<const setting_key> code_settings(const prose_settings& prose) {
  // Without settings "@@language" is no key, and such a line stays a line of the listing.
  return std::span(code_keys).first(std::size(code_keys) - (prose.enabled ? 0 : 1));
}

void write_source_listing(std::istream& source, std::string_view file_name, page_context& context,
                          std::ostream& page) {
  block_lines lines;
  for (std::string line; std::getline(source, line);) {
    add_copy(lines, without_carriage_return(line));
  }
  const std::string name = std::filesystem::path(file_name).filename().string();
  page << "  <h1 class=\"title source-title\">" << html_escape(name) << "</h1>\n";
  if (!lines.empty()) {
    context.language_looked_up = true;
    write_listing(page, lines, language_of_file(name), code_template_config{}, context);
  }
}
