#include "site_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <tuple>
#include <unordered_map>

#include "input_walk.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

// The part of `path` after its last '/', and the part before it ("" when there is none).
std::string_view last_part(std::string_view path) {
  return path.substr(path.rfind('/') + 1);
}

std::string_view parent_part(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

// A file name without its extension, as a path's stem is ("index.orv" gives "index").
std::string_view stem_of(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 || name == ".." ? name : name.substr(0, dot);
}

bool plain_text(std::string_view text) {
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return c == '&' || c == '<' || c == '>' || c == '"'; });
}

// Finds strings by any text, so that a path need not be copied to be looked up.
struct text_hash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const {
    return std::hash<std::string_view>{}(text);
  }
};

// Builds the map: the folders found so far by their path.
struct map_builder {
  site_map map{{}, std::vector<site_folder>(1), {}, 0, {}};  // the top folder, at first alone
  std::unordered_map<std::string, std::size_t, text_hash, std::equal_to<>> folder_at_path;
};

std::size_t folder_at(map_builder& builder, std::string_view path) {
  site_map& map = builder.map;
  if (path.empty()) {
    return 0;
  }
  const auto found = builder.folder_at_path.find(path);
  if (found != builder.folder_at_path.end()) {
    return found->second;
  }
  const std::size_t parent = folder_at(builder, parent_part(path));
  const std::size_t at = map.folders.size();
  site_folder& folder = map.folders.emplace_back();
  folder.path = path;
  folder.name = last_part(path);
  folder.parent = parent;
  map.folders[parent].entries.push_back({true, at});
  builder.folder_at_path.emplace(path, at);
  return at;
}

// Adds the page of the command file at `place`, in walk order.
void add_page(map_builder& builder, std::string place, page_facts facts,
              std::string_view page_extension) {
  site_map& map = builder.map;
  ++map.command_files;
  const std::string_view name = last_part(place);
  const std::string_view stem = stem_of(name);
  std::string href = place.substr(0, place.size() - name.size() + stem.size());
  href += page_extension;
  if (facts.title.empty()) {
    facts.title = stem;
  }
  const std::size_t folder = folder_at(builder, parent_part(place));
  map.pages.push_back({std::move(place), std::move(href), std::move(facts), folder});
}

// Leaves one page for each href, as a run leaves one file: the last command file's, at the place
// in walk order of the first.
void keep_last_of_each_page(site_map& map) {
  std::vector<std::uint32_t> by_href(map.pages.size());
  std::iota(by_href.begin(), by_href.end(), 0);
  std::stable_sort(by_href.begin(), by_href.end(), [&map](std::uint32_t a, std::uint32_t b) {
    return map.pages[a].href < map.pages[b].href;
  });
  std::vector<bool> replaced(map.pages.size());
  for (std::size_t first = 0, last = 0; first < by_href.size(); first = last + 1) {
    for (last = first; last + 1 < by_href.size() &&
                       map.pages[by_href[last + 1]].href == map.pages[by_href[first]].href;
         ++last) {
      replaced[by_href[last + 1]] = true;
    }
    if (last != first) {
      map.pages[by_href[first]] = std::move(map.pages[by_href[last]]);
    }
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < map.pages.size(); ++i) {
    if (!replaced[i] && kept++ != i) {
      map.pages[kept - 1] = std::move(map.pages[i]);
    }
  }
  map.pages.resize(kept);
}

// Puts each page into its folder: the first "index" page as the folder's own, the others as
// entries of its menu.
void place_pages(site_map& map) {
  for (std::size_t at = 0; at < map.pages.size(); ++at) {
    site_folder& folder = map.folders[map.pages[at].folder];
    if (stem_of(last_part(map.pages[at].place)) == "index" && !folder.index_page) {
      folder.index_page = at;
    } else {
      folder.entries.push_back({false, at});
    }
  }
}

const page_facts* entry_facts(const site_map& map, const menu_entry& entry) {
  if (!entry.is_folder) {
    return &map.pages[entry.index].facts;
  }
  const std::optional<std::size_t> index = map.folders[entry.index].index_page;
  return index ? &map.pages[*index].facts : nullptr;
}

std::string_view entry_name(const site_map& map, const menu_entry& entry) {
  return entry.is_folder ? std::string_view(map.folders[entry.index].name)
                         : last_part(map.pages[entry.index].place);
}

// Entries with @@order first, by it, then the others; ties by name.
void sort_entries(const site_map& map, site_folder& folder) {
  const auto key = [&map](const menu_entry& entry) {
    const page_facts* facts = entry_facts(map, entry);
    const bool ordered = facts != nullptr && facts->order.has_value();
    return std::tuple(!ordered, ordered ? *facts->order : 0, entry_name(map, entry));
  };
  std::stable_sort(folder.entries.begin(), folder.entries.end(),
                   [&](const menu_entry& a, const menu_entry& b) { return key(a) < key(b); });
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

// Notes what the frames of the folder's pages show of it: the entries of its menu level, the
// pages its previous and next links step through, and where each stands in them.
void list_shown(site_map& map, std::size_t at) {
  site_folder& folder = map.folders[at];
  folder.lineage = folder.parent ? map.folders[*folder.parent].lineage : std::vector<std::size_t>();
  folder.lineage.push_back(at);
  folder.plain_name = plain_text(folder.name);
  if (folder.index_page && map.pages[*folder.index_page].facts.menu) {
    map.pages[*folder.index_page].turn_at = folder.turn.size();
    folder.turn.push_back(*folder.index_page);
  }
  for (const menu_entry& entry : folder.entries) {
    if (!entry_shown(map, entry)) {
      continue;
    }
    if (entry.is_folder) {
      map.folders[entry.index].shown_at = folder.shown.size();
    } else {
      map.pages[entry.index].shown_at = folder.shown.size();
      map.pages[entry.index].turn_at = folder.turn.size();
      folder.turn.push_back(entry.index);
    }
    folder.shown.push_back(entry);
  }
}

// The map with what the frames need to know of its folders, once every page is in.
site_map finished_map(map_builder& builder) {
  static std::atomic<std::uint64_t> makings{0};
  site_map& map = builder.map;
  map.making.number = ++makings;
  keep_last_of_each_page(map);
  place_pages(map);
  sort_all(map);
  for (std::size_t at = 0; at < map.folders.size(); ++at) {  // parents first
    list_shown(map, at);
  }
  for (site_page& page : map.pages) {
    page.plain_title = plain_text(page.facts.title);
    page.plain_href = plain_text(page.href);
  }
  map.pages.shrink_to_fit();
  map.by_place.resize(map.pages.size());
  std::iota(map.by_place.begin(), map.by_place.end(), 0);
  std::sort(map.by_place.begin(), map.by_place.end(), [&map](std::uint32_t a, std::uint32_t b) {
    return map.pages[a].place < map.pages[b].place;
  });
  return std::move(map);
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

}  // namespace

site_map build_site_map(const std::vector<command_file_facts>& files,
                        std::string_view page_extension) {
  map_builder builder;
  for (const command_file_facts& file : files) {
    add_page(builder, file.place, file.facts, page_extension);  // copies: the list stays
  }
  return finished_map(builder);
}

std::optional<page_facts> read_command_file_facts(const fs::path& path) {
  thread_local std::string text;  // reused from file to file
  if (!read_whole(path, text)) {
    return std::nullopt;
  }
  return read_page_facts(text);
}

site_map read_site_map(const std::string& input, const std::vector<std::string>& extensions,
                       std::string_view page_extension, const walk_listing* listing) {
  map_builder builder;
  const auto visit = [&](const input_tree& tree, const walked_entry& entry) {
    std::error_code error;
    if (!is_command_file(entry.name(), extensions) || !leads_to_file(entry, error)) {
      return;
    }
    if (std::optional<page_facts> facts = read_command_file_facts(fs::path(entry.path))) {
      add_page(builder, place_below(entry, tree), std::move(*facts), page_extension);
    }
  };
  try {
    const input_tree tree = open_input_tree(input);
    walk_input_with(
        tree, [&](const walked_entry& entry) { visit(tree, entry); },
        [](const fs::filesystem_error&) {}, {nullptr, listing});
  } catch (const fs::filesystem_error&) {
    // No input folder: the run says so when it walks for the pages.
  }
  return finished_map(builder);
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

const site_page* page_at(const site_map& map, std::string_view place) {
  const auto found = std::lower_bound(map.by_place.begin(), map.by_place.end(), place,
                                      [&map](std::uint32_t page, std::string_view sought) {
                                        return map.pages[page].place < sought;
                                      });
  return found != map.by_place.end() && map.pages[*found].place == place ? &map.pages[*found]
                                                                         : nullptr;
}

std::string_view link_in_folder(const site_map& map, const site_page& page) {
  const std::string& folder = map.folders[page.folder].path;
  return std::string_view(page.href).substr(folder.empty() ? 0 : folder.size() + 1);
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
