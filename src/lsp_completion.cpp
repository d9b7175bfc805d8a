#include "lsp_completion.h"

#include <string_view>
#include <vector>

#include "lsp_settings.h"
#include "lsp_text.h"
#include "page_facts.h"

namespace {

constexpr int keyword_kind = 14;   // CompletionItemKind.Keyword
constexpr int property_kind = 10;  // CompletionItemKind.Property

// An item that replaces the line up to the cursor with `text`.
nlohmann::json item(const std::string& label, const std::string& text, int kind,
                    const std::string& detail, std::string_view documentation,
                    const nlohmann::json& range, const std::string& sort) {
  return {{"label", label},
          {"kind", kind},
          {"detail", detail},
          {"documentation", std::string(documentation)},
          {"sortText", sort},
          {"filterText", label},
          {"textEdit", {{"range", range}, {"newText", text}}}};
}

std::string shown_default(const setting_help& setting) {
  return "default: " + (setting.default_value.empty() ? std::string("empty")
                                                      : "\"" + setting.default_value + "\"");
}

}  // namespace

nlohmann::json completion_items(const std::string& text, const checked_text& checked,
                                bool page_blocks, std::size_t line, std::size_t column) {
  const std::vector<std::string_view> lines = buffer_lines(text);
  nlohmann::json items = nlohmann::json::array();
  if (line >= lines.size()) {
    return items;
  }
  const std::string_view typed = lines[line].substr(0, byte_column(lines[line], column));
  const std::string_view kind = line < checked.kinds.size() ? checked.kinds[line] : "";
  const nlohmann::json range = {{"start", {{"line", line}, {"character", 0}}},
                                {"end", {{"line", line}, {"character", column}}}};
  if (typed.starts_with("@@") && typed.find(' ') == std::string_view::npos) {
    for (const setting_help& setting : settings_of(kind)) {
      const std::string key = "@@" + std::string(setting.key);
      items.push_back(item(key, key + " ", property_kind, shown_default(setting), setting.meaning,
                           range, std::string("1").append(key)));
    }
    return items;
  }
  if (!typed.empty() && !typed.starts_with('@')) {
    return items;
  }
  std::vector<kind_help> kinds = block_kinds();
  if (page_blocks) {
    kinds.push_back({page_block.opening, page_block.closing,
                     "what the site's frame shows of the page: its title, description, date, "
                     "place in the menu"});
  }
  for (const kind_help& block : kinds) {
    if (block.opening == kind) {
      items.push_back(item(std::string(block.closing), std::string(block.closing), keyword_kind,
                           "closes " + std::string(block.opening), block.meaning, range, "0"));
    }
    const std::string opening(block.opening);
    items.push_back(item(opening, opening, keyword_kind, std::string(block.meaning), block.meaning,
                         range, std::string("1").append(opening)));
  }
  return items;
}
