#include "prose_settings.h"

#include <algorithm>
#include <toml++/toml.h>

#include "utils.h"

prose_settings run_prose_settings;

prose_settings read_prose_settings(const std::filesystem::path& folder) {
  const std::filesystem::path file = folder / "orvello.toml";
  std::error_code error;
  if (!std::filesystem::exists(file, error)) {
    return {};
  }
  prose_settings settings{.enabled = true, .raw_html = false};
  try {
    const toml::table table = toml::parse_file(file.string());
    settings.raw_html = table["markdown"]["raw_html"].value_or(false);
  } catch (const toml::parse_error&) {
    // The settings unit reports the file's mistakes; prose stays safe meanwhile.
  }
  return settings;
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
