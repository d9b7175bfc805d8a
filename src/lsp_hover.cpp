#include "lsp_hover.h"

#include <optional>
#include <string_view>
#include <vector>

#include "lsp_settings.h"
#include "lsp_text.h"

namespace {

// What a setting line says: the key's meaning and default, and the CSS of a length.
std::string setting_words(std::string_view kind, std::string_view line) {
  const std::string_view rest = line.substr(2);
  const std::size_t blank = rest.find(' ');
  const std::string_view key = rest.substr(0, blank);
  for (const setting_help& setting : settings_of(kind)) {
    if (setting.key != key) {
      continue;
    }
    std::string words =
        "**@@" + std::string(key) + "** of " + std::string(kind) + ": " +
        std::string(setting.meaning) + ".\n\nDefault: " +
        (setting.default_value.empty() ? "empty" : "`" + setting.default_value + "`") + ".";
    if (blank == std::string_view::npos) {
      return words;
    }
    const std::optional<css_length> css = css_length_of(kind, key, rest.substr(blank + 1));
    if (css && css->property.empty()) {
      words += "\n\nAn empty size writes no style at all.";
    } else if (css) {
      words += "\n\nBecomes `" + css->property + ": " + css->written + ";`" +
               (css->taken ? "." : ", which browsers drop; write " + css->advice + ".");
    }
    return words;
  }
  return {};
}

}  // namespace

nlohmann::json hover_at(const std::string& text, const checked_text& checked, std::size_t line) {
  const std::vector<std::string_view> lines = buffer_lines(text);
  if (line >= lines.size()) {
    return nullptr;
  }
  const std::string_view content = lines[line];
  const std::string_view kind = line < checked.kinds.size() ? checked.kinds[line] : "";
  std::string words;
  if (content.starts_with("@@") && !kind.empty()) {
    words = setting_words(kind, content);
  } else if (const kind_help block = kind_of_line(content); !block.opening.empty()) {
    words = "**" + std::string(block.opening) + "** ... **" + std::string(block.closing) +
            "**: " + std::string(block.meaning) + ".";
  }
  if (words.empty()) {
    return nullptr;
  }
  return {{"contents", {{"kind", "markdown"}, {"value", words}}},
          {"range",
           {{"start", {{"line", line}, {"character", 0}}},
            {"end", {{"line", line}, {"character", utf16_column(content, content.size())}}}}}};
}
