#include "site_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
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
  const std::string path = folder.generic_string();
  for (std::size_t i = map.folders.size() - 1; i > 0; --i) {  // the last folder, most often
    if (map.folders[i].path == path) {
      return i;
    }
  }
  const std::size_t parent = folder_at(map, folder.parent_path());
  map.folders.push_back({path, folder.filename().string(), parent, std::nullopt, {}});
  map.folders[parent].entries.push_back({true, map.folders.size() - 1});
  return map.folders.size() - 1;
}

// Adds the page of the command file at `place`; `at_href` finds pages by their place in site/.
void add_page(site_map& map, const fs::path& place, page_facts facts,
              std::string_view page_extension,
              std::unordered_map<std::string, std::size_t>& at_href) {
  std::string href = fs::path(place).replace_extension(page_extension).generic_string();
  site_page page{place.generic_string(), href, place.filename().string(), std::move(facts),
                 folder_at(map, place.parent_path())};
  if (page.facts.title.empty()) {
    page.facts.title = place.stem().string();
  }
  const auto [found, added] = at_href.try_emplace(href, map.pages.size());
  if (!added) {  // a later file replaces the page, as in a run
    const std::size_t i = found->second;
    map.page_at_place.erase(map.pages[i].place);
    map.page_at_place[page.place] = i;
    map.pages[i] = std::move(page);
    return;
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

// Reads the whole file at `path` into `text`.
bool read_whole(const fs::path& path, std::string& text) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    return false;
  }
  text.clear();
  char buffer[64 * 1024];
  ssize_t got = 0;
  while ((got = read(file, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(file);
  return got == 0;
}

void sort_all(site_map& map) {
  for (site_folder& folder : map.folders) {
    sort_entries(map, folder);
  }
  // A folder comes after its parent, so from the last one back each folder is done before its
  // parent asks about it.
  for (std::size_t i = map.folders.size(); i-- > 0;) {
    site_folder& folder = map.folders[i];
    folder.shows_entries = std::any_of(folder.entries.begin(), folder.entries.end(),
                                       [&map](const menu_entry& e) { return entry_shown(map, e); });
  }
}

}  // namespace

site_map build_site_map(const std::vector<command_file_facts>& files,
                        std::string_view page_extension) {
  site_map map;
  folder_at(map, {});
  std::unordered_map<std::string, std::size_t> at_href;
  for (const command_file_facts& file : files) {
    add_page(map, file.place, file.facts, page_extension, at_href);
  }
  map.command_files = files.size();
  sort_all(map);
  return map;
}

std::optional<page_facts> read_command_file_facts(const fs::path& path) {
  thread_local std::string text;  // reused from file to file
  if (!read_whole(path, text)) {
    return std::nullopt;
  }
  return read_page_facts(text);
}

site_map read_site_map(const std::string& input, const std::vector<std::string>& extensions,
                       std::string_view page_extension) {
  std::vector<command_file_facts> files;
  // A walk error is the run's to report when it walks for the pages; the map does without.
  std::ostringstream quiet;
  std::streambuf* const errors = std::cerr.rdbuf(quiet.rdbuf());
  walk_input_files(input, "", [&](const fs::path& file, const fs::path& place) {
    if (!is_command_file(file.filename().native(), extensions)) {
      return;
    }
    if (std::optional<page_facts> facts = read_command_file_facts(file)) {
      files.push_back({place, std::move(*facts)});
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
  return map.folders[entry.index].shows_entries;
}

std::string folder_signature(const site_map& map, const std::string& path) {
  const auto folder = std::find_if(map.folders.begin(), map.folders.end(),
                                   [&](const site_folder& f) { return f.path == path; });
  if (folder == map.folders.end()) {
    return std::string(1, '\x01');
  }
  std::string signature;
  const auto add_page_part = [&](std::size_t index) {
    const site_page& page = map.pages[index];
    signature.append(page.href).append(1, '\0').append(page.facts.title);
    signature += page.facts.menu ? '+' : '-';
  };
  if (folder->index_page) {
    add_page_part(*folder->index_page);
  }
  for (const menu_entry& entry : folder->entries) {
    signature += entry.is_folder ? "\nF" : "\nP";
    signature += entry_shown(map, entry) ? '+' : '-';
    if (!entry.is_folder) {
      add_page_part(entry.index);
    } else if (const site_folder& inside = map.folders[entry.index]; inside.index_page) {
      add_page_part(*inside.index_page);
    } else {
      signature.append(inside.path);
    }
  }
  return signature;
}
