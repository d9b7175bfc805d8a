#include "lsp_diagnostics.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "generator.h"
#include "lsp_text.h"
#include "site_settings.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

// The folder named "proj" nearest above `file`; empty when there is none.
fs::path project_input_of(const fs::path& file) {
  for (fs::path folder = file.parent_path(); folder.has_relative_path();
       folder = folder.parent_path()) {
    if (folder.filename() == "proj") {
      return folder;
    }
  }
  return {};
}

// The extension of pages as orvello.toml beside `input` names it, ".htm" without one.
std::string page_extension_of(const fs::path& input) {
  std::ifstream settings{input.parent_path() / settings_file_name};
  if (!settings) {
    return ".htm";
  }
  const std::string text{std::istreambuf_iterator<char>(settings), {}};
  const settings_reading reading = parse_site_settings(text, input);
  return reading.settings ? reading.settings->page_extension : ".htm";
}

}  // namespace

lsp_page open_lsp_page(const fs::path& file) {
  lsp_page page;
  const fs::path input = project_input_of(file);
  if (input.empty()) {  // a folder that may be large (the home folder, say) is not walked
    page.place = {file, file.filename()};
    page.project.input = file.parent_path();
    page.project.resolved = file.parent_path();
    page.project.extensions = command_file_extensions();
    return page;
  }
  page.place = {file, file.lexically_relative(input)};
  std::error_code error;
  const bool settings_present = fs::exists(input.parent_path() / settings_file_name, error);
  read_project_folder(input.string(), page_extension_of(input), settings_present, prose_settings{},
                      page.project);
  block_records start;
  // A file that no build would reach yet (a new one, say) starts as the first page does.
  page.start = read_pages_before(page.project, file, start) ? std::move(start) : block_records{};
  return page;
}

checked_text check_buffer(const lsp_page& page, const std::string& text) {
  block_records records = page.start;
  std::istringstream source(text);
  return check_command_text(source, page.place, page.project, records);
}

nlohmann::json diagnostics_json(const checked_text& checked, const std::string& text) {
  const std::vector<std::string_view> lines = buffer_lines(text);
  nlohmann::json diagnostics = nlohmann::json::array();
  for (const diagnostic& finding : checked.found) {
    const std::size_t line = std::min(finding.line, lines.size()) - 1;
    const std::string_view content = lines[line];
    const std::size_t end = utf16_column(content, content.size());
    const std::size_t start = std::min(utf16_column(content, finding.column - 1), end);
    diagnostics.push_back({{"range",
                            {{"start", {{"line", line}, {"character", start}}},
                             {"end", {{"line", line}, {"character", end}}}}},
                           {"severity", finding.level == severity::error ? 1 : 2},
                           {"code", std::string(finding.name)},
                           {"source", "orvello"},
                           {"message", finding.message}});
  }
  return diagnostics;
}
