#include "input_walk.h"

#include <iostream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

using error_report = std::function<void(const fs::filesystem_error& error)>;

void walk_folder(const fs::path& folder, const entry_visit& visit, const error_report& report) {
  std::error_code error;
  for (fs::directory_iterator entries(folder, error), end; !error && entries != end;
       entries.increment(error)) {
    const fs::directory_entry& entry = *entries;
    try {
      visit(entry);
    } catch (const fs::filesystem_error& failure) {
      report(failure);
    }
    std::error_code type_error;
    if (entry.is_directory(type_error) && !entry.is_symlink(type_error)) {
      walk_folder(entry.path(), visit, report);
    }
  }
  if (error) {
    report(fs::filesystem_error("cannot read folder", folder, error));
  }
}

}  // namespace

input_tree open_input_tree(const std::string& folder) {
  return {folder, fs::canonical(folder)};
}

// The walk never enters linked folders, so only the entry itself can be a link and only a link
// needs resolving. A link whose target lies outside the input folder keeps its own place, so
// nothing lands outside the output.
std::string place_below(const fs::directory_entry& entry, const input_tree& tree) {
  // The walk forms every entry's path as the input folder, a separator and the rest.
  const std::string& folder = tree.folder.native();
  std::string own = entry.path().native().substr(folder.size() + (folder.ends_with('/') ? 0 : 1));
  if (!entry.is_symlink()) {
    return own;
  }
  fs::path resolved = fs::weakly_canonical(entry.path()).lexically_relative(tree.resolved);
  if (resolved.empty() || *resolved.begin() == "..") {
    return own;
  }
  return resolved.native();
}

bool walk_input(const input_tree& tree, std::string_view error_prefix, const entry_visit& visit) {
  bool complete = true;
  walk_folder(tree.folder, visit, [&](const fs::filesystem_error& error) {
    std::cerr << error_prefix << error.what() << "\n";
    complete = false;
  });
  return complete;
}

void walk_input_with(const input_tree& tree, const entry_visit& visit, const error_report& failed) {
  walk_folder(tree.folder, visit, failed);
}

void walk_input_in_order(const input_tree& tree, std::string_view error_prefix,
                         ordered_reports& reports, const entry_visit& visit,
                         const std::function<void()>& settle) {
  walk_folder(tree.folder, visit, [&](const fs::filesystem_error& error) {
    settle();
    add_report(reports, console_report{std::string(error_prefix) + error.what() + "\n", "", false});
  });
}

bool run_walking_step(const std::string& source, std::string_view error_prefix,
                      const std::function<bool()>& walk) {
  try {
    if (!fs::exists(source)) {
      std::cerr << "Error: Source directory '" << source << "' does not exist.\n";
      return false;
    }
    return walk();
  } catch (const fs::filesystem_error& error) {
    std::cerr << error_prefix << error.what() << "\n";
    return false;
  }
}

void create_folder(std::string_view folder, std::string& known) {
  if (folder != known) {
    if (!folder.empty()) {
      fs::create_directories(fs::path(folder));
    }
    known = folder;
  }
}

std::string_view folder_of(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

bool walk_input_files(
    const std::string& input, std::string_view error_prefix,
    const std::function<void(const fs::path& file, const fs::path& place)>& visit) {
  return run_walking_step(input, error_prefix, [&] {
    const input_tree tree = open_input_tree(input);
    return walk_input(tree, error_prefix, [&](const fs::directory_entry& entry) {
      std::error_code error;
      if (entry.is_regular_file(error)) {
        visit(entry.path(), place_below(entry, tree));
      }
    });
  });
}
