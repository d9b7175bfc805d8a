#include "command_markdown.h"

#include "block_records.h"
#include "external_reads.h"
#include "markdown.h"
#include "prose_settings.h"

namespace {

markdown_template_config& markdown_config = run_records.markdown;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key markdown_keys[] = {
    {"@@src ", &markdown_config.src},
    {"@@language ", &markdown_config.language},
};

void take_markdown_line(std::string_view line) {
  if (!apply_setting(line, markdown_keys)) {
    markdown_config.lines.emplace_back(line);
  }
}

void write_markdown(std::ostream& page) {
  if (!markdown_config.src.empty() &&
      !load_external_lines(markdown_config.src, "Markdown", markdown_config.lines, page)) {
    markdown_config.lines.push_back(
        "[Error: External Markdown file not found: " + markdown_config.src + "]");
  }
  if (markdown_config.lines.empty()) {
    return;
  }
  const markdown_result prose = render_markdown(
      markdown_text(markdown_config.lines),
      {.raw_html = run_prose_settings.raw_html, .language = markdown_config.language});
  page << "  <div class=\"markdown\">\n" << prose.html << "  </div>\n";
}

}  // namespace

void command_markdown(const std::string& line, bool& in_block, std::ostream& page) {
  follow_block_protocol(without_carriage_return(line), markdown_block, in_block, markdown_config,
                        take_markdown_line, [&page] { write_markdown(page); });
}

std::span<const setting_key> markdown_settings() {
  return markdown_keys;
}

std::string markdown_text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}
