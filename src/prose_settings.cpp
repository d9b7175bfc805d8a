#include "prose_settings.h"

#include <algorithm>

#include "utils.h"

prose_settings prose_settings_of(const site_settings* settings) {
  if (settings == nullptr) {
    return {};
  }
  return {.enabled = true, .raw_html = settings->markdown_raw_html};
}

namespace {

constexpr std::string_view source_extensions[] = {".c", ".cpp"};

}  // namespace

bool is_source_page(const prose_settings& settings, std::string_view name) {
  return settings.enabled &&
         std::ranges::find(source_extensions, file_extension(name)) != std::end(source_extensions);
}

std::vector<std::string> extensions_not_copied(const prose_settings& settings,
                                               const std::vector<std::string>& command_extensions) {
  std::vector<std::string> kept;
  for (const std::string& extension : command_extensions) {
    if (!is_source_page(settings, "file" + extension)) {
      kept.push_back(extension);
    }
  }
  return kept;
}
