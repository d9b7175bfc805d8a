#include "lsp_definition.h"

#include <string_view>
#include <system_error>
#include <vector>

#include "lsp_text.h"
#include "percent_escapes.h"

namespace fs = std::filesystem;

namespace {

// The file on disk that `address` on `page` names: a file beside or below the page's folder,
// from the project's top for one starting with "/", or the command file of a ".htm" page. A text
// or code block's file is read as named (`literal`); a browser decodes "%20" in other addresses.
fs::path named_file(const lsp_page& page, std::string_view address, bool literal) {
  const std::string_view path = literal ? address : address.substr(0, address.find_first_of("?#"));
  if (path.empty() ||
      (!literal && (path.starts_with("//") || path.find(':') != std::string_view::npos))) {
    return {};
  }
  const fs::path folder =
      path.starts_with('/') && !literal ? page.project.input : page.place.file.parent_path();
  const std::string_view rest = path.substr(path.starts_with('/') && !literal ? 1 : 0);
  const fs::path target =
      (folder / (literal ? std::string(rest) : percent_decoded(rest))).lexically_normal();
  std::error_code error;
  if (fs::exists(target, error)) {
    return target;
  }
  if (target.extension() == page.project.page_extension) {
    for (const std::string& extension : page.project.extensions) {
      const fs::path command_file = fs::path(target).replace_extension(extension);
      if (fs::is_regular_file(command_file, error)) {
        return command_file;
      }
    }
  }
  return {};
}

}  // namespace

nlohmann::json definition_at(const lsp_page& page, const std::string& text,
                             const checked_text& checked, std::size_t line) {
  const std::vector<std::string_view> lines = buffer_lines(text);
  if (line >= lines.size() || line >= checked.kinds.size() || checked.kinds[line].empty()) {
    return nullptr;
  }
  const std::string_view content = lines[line];
  if (!content.starts_with("@@src ") && !content.starts_with("@@url ")) {
    return nullptr;
  }
  const std::string_view kind = checked.kinds[line];
  const fs::path file = named_file(page, content.substr(6), kind == "@text" || kind == "@code");
  if (file.empty()) {
    return nullptr;
  }
  const nlohmann::json start = {{"line", 0}, {"character", 0}};
  return {{"uri", uri_of_path(file)}, {"range", {{"start", start}, {"end", start}}}};
}
