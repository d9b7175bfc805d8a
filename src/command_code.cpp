#include "command_code.h"

#include <charconv>
#include <cstdint>

#include "block_records.h"
#include "external_reads.h"
#include "framed_blocks.h"

namespace {

code_template_config& code_config = run_records.code;

// The setting keys, in the order they are tried, and the fields they fill.
constexpr setting_key code_keys[] = {
    {"@@width ", &code_config.width},
    {"@@height ", &code_config.height},
    {"@@src ", &code_config.src},
};

void take_code_line(std::string_view line) {
  if (!apply_setting(line, code_keys)) {
    add_line(code_config.lines, line);
  }
}

void write_code(std::ostream& page) {
  if (!code_config.src.empty() &&
      !load_external_lines(code_config.src, "code", code_config.lines, page)) {
    code_config.lines.push_back("// Error: External file not found: " + code_config.src);
  }
  if (code_config.lines.empty()) {
    return;
  }
  page << "  <pre class=\"code\"" << panel_focus(page)
       << " style=\"width: " << escape_quotes(dimension_with_unit(code_config.width))
       << "; height: " << escape_quotes(dimension_with_unit(code_config.height)) << ";\"><table>\n";
  std::uint64_t number = 0;
  write_rows(page, code_config.lines, [&](std::string& rows, const std::string& line) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, ++number);
    rows += "    <tr>\n      <td class=\"code-line-number\">";
    rows.append(digits, written.ptr);
    rows += "</td>\n      <td class=\"code-line-content\"><code>";
    append_html_escaped(rows, line);
    rows += "</code></td>\n    </tr>\n";
  });
  page << "  </table></pre>\n";
}

}  // namespace

void command_code(const std::string& line, bool& in_block, std::ostream& page) {
  follow_block_protocol(without_carriage_return(line), code_block, in_block, code_config,
                        take_code_line, [&page] { write_code(page); });
}

std::span<const setting_key> code_settings() {
  return code_keys;
}
