#include "site_map.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <tuple>

#include "input_walk.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

std::size_t folder_at(site_map& map, const fs::path& folder) {
  if (folder.empty()) {
    if (map.folders.empty()) {
      map.folders.push_back({});
    }
    return 0;
  }
  const std::size_t parent = folder_at(map, folder.parent_path());
  const std::string path = folder.generic_string();
  for (std::size_t i = 1; i < map.folders.size(); ++i) {
    if (map.folders[i].path == path) {
      return i;
    }
  }
  map.folders.push_back({path, folder.filename().string(), parent, std::nullopt, {}});
  map.folders[parent].entries.push_back({true, map.folders.size() - 1});
  return map.folders.size() - 1;
}

void add_page(site_map& map, const command_file_text& file, std::string_view page_extension) {
  const fs::path place = file.place;
  std::string href = fs::path(place).replace_extension(page_extension).generic_string();
  site_page page{place.generic_string(), href, place.filename().string(),
                 read_page_facts(file.text), folder_at(map, place.parent_path())};
  if (page.facts.title.empty()) {
    page.facts.title = place.stem().string();
  }
  for (std::size_t i = 0; i < map.pages.size(); ++i) {
    if (map.pages[i].href == page.href) {  // a later file replaces the page, as in a run
      map.page_at_place.erase(map.pages[i].place);
      map.page_at_place[page.place] = i;
      map.pages[i] = std::move(page);
      return;
    }
  }
  const std::size_t at = map.pages.size();
  map.page_at_place[page.place] = at;
  site_folder& folder = map.folders[page.folder];
  if (place.stem() == "index" && !folder.index_page) {
    folder.index_page = at;
  } else {
    folder.entries.push_back({false, at});
  }
  map.pages.push_back(std::move(page));
}

const page_facts* entry_facts(const site_map& map, const menu_entry& entry) {
  if (!entry.is_folder) {
    return &map.pages[entry.index].facts;
  }
  const std::optional<std::size_t> index = map.folders[entry.index].index_page;
  return index ? &map.pages[*index].facts : nullptr;
}

const std::string& entry_name(const site_map& map, const menu_entry& entry) {
  return entry.is_folder ? map.folders[entry.index].name : map.pages[entry.index].name;
}

// Entries with @@order first, by it, then the others; ties by name.
void sort_entries(site_map& map, site_folder& folder) {
  const auto key = [&map](const menu_entry& entry) {
    const page_facts* facts = entry_facts(map, entry);
    const bool ordered = facts != nullptr && facts->order.has_value();
    return std::tuple(!ordered, ordered ? *facts->order : 0, entry_name(map, entry));
  };
  std::stable_sort(folder.entries.begin(), folder.entries.end(),
                   [&](const menu_entry& a, const menu_entry& b) { return key(a) < key(b); });
}

bool read_whole(const fs::path& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    return false;
  }
  std::ostringstream whole;
  whole << file.rdbuf();
  text = std::move(whole).str();
  return true;
}

}  // namespace

site_map build_site_map(const std::vector<command_file_text>& files,
                        std::string_view page_extension) {
  site_map map;
  folder_at(map, {});
  for (const command_file_text& file : files) {
    add_page(map, file, page_extension);
  }
  for (site_folder& folder : map.folders) {
    sort_entries(map, folder);
  }
  return map;
}

site_map read_site_map(const std::string& input, const std::vector<std::string>& extensions,
                       std::string_view page_extension) {
  std::vector<command_file_text> files;
  // A walk error is the run's to report when it walks for the pages; the map does without.
  std::ostringstream quiet;
  std::streambuf* const errors = std::cerr.rdbuf(quiet.rdbuf());
  walk_input_files(input, "", [&](const fs::path& file, const fs::path& place) {
    command_file_text read{place, {}};
    if (is_command_file(file.filename().native(), extensions) && read_whole(file, read.text)) {
      files.push_back(std::move(read));
    }
  });
  std::cerr.rdbuf(errors);
  return build_site_map(files, page_extension);
}

const std::string& entry_title(const site_map& map, const menu_entry& entry) {
  const page_facts* facts = entry_facts(map, entry);
  return facts != nullptr ? facts->title : map.folders[entry.index].name;
}

bool entry_shown(const site_map& map, const menu_entry& entry) {
  if (const page_facts* facts = entry_facts(map, entry)) {
    return facts->menu;
  }
  const std::vector<menu_entry>& inside = map.folders[entry.index].entries;
  return std::any_of(inside.begin(), inside.end(),
                     [&map](const menu_entry& each) { return entry_shown(map, each); });
}
