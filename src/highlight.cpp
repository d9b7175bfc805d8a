#include "highlight.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>

#include "highlight_module.h"

namespace fs = std::filesystem;

namespace {

// The module's functions, looked up once.
struct module_functions {
  orvello_list_languages_fn list = nullptr;
  orvello_find_language_fn find = nullptr;
  orvello_highlight_lines_fn highlight = nullptr;
  std::string error;
};

// Where the module may lie: beside the program (the build tree), one folder up (the tests' build
// folder), and where the package installs it.
std::vector<fs::path> module_candidates() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  const fs::path folder = program.parent_path();
  return {folder / "orvello-highlight.so", folder.parent_path() / "orvello-highlight.so",
          folder.parent_path() / ORVELLO_LIBDIR / "orvello" / "orvello-highlight.so"};
}

module_functions open_module() {
  module_functions functions;
  void* handle = nullptr;
  for (const fs::path& candidate : module_candidates()) {
    handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) {
      break;
    }
    functions.error = dlerror();
  }
  if (handle == nullptr) {
    return functions;
  }
  functions.list =
      reinterpret_cast<orvello_list_languages_fn>(dlsym(handle, orvello_list_languages_symbol));
  functions.find =
      reinterpret_cast<orvello_find_language_fn>(dlsym(handle, orvello_find_language_symbol));
  functions.highlight =
      reinterpret_cast<orvello_highlight_lines_fn>(dlsym(handle, orvello_highlight_lines_symbol));
  if (functions.list == nullptr || functions.find == nullptr || functions.highlight == nullptr) {
    functions = {.error = "orvello-highlight.so lacks its functions"};
  } else {
    functions.error.clear();
  }
  return functions;
}

// Opened the first time it is needed, so that a run whose pages need no highlighting never loads
// it.
const module_functions& module() {
  static const module_functions functions = open_module();
  return functions;
}

orvello_text text_of(std::string_view text) {
  return {text.data(), text.size()};
}

void store_string(void* context, orvello_text text) {
  static_cast<std::string*>(context)->assign(text.data, text.size);
}

void append_to_lines(void* context, orvello_text text) {
  static_cast<std::vector<std::string>*>(context)->emplace_back(text.data, text.size);
}

// Looks a name up once per run, either way: pages name the same few languages again and again.
std::optional<std::string> find_cached(std::string_view name, bool by_file_name) {
  static std::mutex lock;
  static std::map<std::pair<std::string, bool>, std::optional<std::string>> found;
  const std::lock_guard guard(lock);
  auto [place, added] = found.try_emplace({std::string(name), by_file_name});
  if (added && module().find != nullptr) {
    std::string language;
    module().find(text_of(name), by_file_name ? 1 : 0, store_string, &language);
    if (!language.empty()) {
      place->second = language;
    }
  }
  return place->second;
}

}  // namespace

std::optional<std::string> find_language(std::string_view name) {
  return find_cached(name, false);
}

std::optional<std::string> language_of_file(std::string_view file_name) {
  return find_cached(fs::path(file_name).filename().string(), true);
}

std::vector<std::string> known_languages() {
  std::vector<std::string> names;
  if (module().list != nullptr) {
    module().list(append_to_lines, &names);
  }
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// highlight_lines for lines of either type.
template <typename Line>
std::vector<std::string> highlight_any(const std::string& language, std::span<const Line> lines) {
  std::vector<std::string> html;
  if (module().highlight == nullptr) {
    return html;
  }
  std::vector<orvello_text> texts;
  texts.reserve(lines.size());
  for (const Line& line : lines) {
    texts.push_back(text_of(line));
  }
  html.reserve(lines.size());
  module().highlight(text_of(language), texts.data(), texts.size(), append_to_lines, &html);
  return html;
}

}  // namespace

std::vector<std::string> highlight_lines(const std::string& language,
                                         std::span<const std::string> lines) {
  return highlight_any(language, lines);
}

std::vector<std::string> highlight_lines(const std::string& language,
                                         std::span<const std::string_view> lines) {
  return highlight_any(language, lines);
}

std::string highlight_engine_error() {
  return module().error;
}

std::string highlight_failure_warning(bool looked_up) {
  static std::atomic<bool> reported{false};
  // A page that looked a language up tried the module, so module() loads nothing here.
  if (!looked_up || module().error.empty() || reported.exchange(true)) {
    return {};
  }
  return "Warning: listings are not coloured: the highlighter could not be loaded (" +
         module().error + ")\n";
}
