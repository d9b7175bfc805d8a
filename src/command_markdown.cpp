#include "command_markdown.h"

#include "block_records.h"
#include "external_reads.h"
#include "html_buffer.h"
#include "markdown.h"
#include "page_context.h"
#include "prose_settings.h"

namespace {

// The field of the markdown record that a key fills.
template <auto field>
constexpr auto markdown_field = &record_field<&block_records::markdown, field>;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key markdown_keys[] = {
    {"@@src ", markdown_field<&markdown_template_config::src>},
    {"@@language ", markdown_field<&markdown_template_config::language>},
};

void take_markdown_line(std::string_view line, page_context& context) {
  if (!apply_setting(line, markdown_keys, context.records)) {
    add_line(context, context.records.markdown.lines, line);
  }
}

void write_markdown(page_context& context, std::ostream& page) {
  markdown_template_config& markdown_config = context.records.markdown;
  if (context.start_unknown && !markdown_config.src.empty()) {
    context.start_needed = true;  // the file is read at the page's turn
    return;
  }
  hand_over(context.html, page);  // before a file is read and before the page is written directly
  if (!markdown_config.src.empty() &&
      !load_external_lines(markdown_config.src, "Markdown", markdown_config.lines, page,
                           *context.errors)) {
    add_copy(markdown_config.lines,
             "[Error: External Markdown file not found: " + markdown_config.src + "]");
  }
  if (markdown_config.lines.empty()) {
    return;
  }
  const markdown_result prose =
      render_markdown(markdown_text(markdown_config.lines),
                      {.raw_html = context.prose.raw_html, .language = markdown_config.language});
  context.language_looked_up = context.language_looked_up || prose.language_looked_up;
  page << "  <div class=\"markdown\">\n" << prose.html << "  </div>\n";
}

}  // namespace

void command_markdown(std::string_view line, bool& in_block, page_context& context,
                      std::ostream& page) {
  follow_block_protocol(
      without_carriage_return(line), markdown_block, in_block, context.records.markdown,
      [&](std::string_view inner) { take_markdown_line(inner, context); },
      [&] { write_markdown(context, page); });
}

std::span<const setting_key> markdown_settings(const prose_settings&) {
  return markdown_keys;
}

std::string markdown_text(const block_lines& lines) {
  std::string text;
  for (const std::string_view line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}
