// The map of a site with settings: every page with its facts and the folders that hold them, in
// menu order, read in a pass over the command files before any page is compiled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "page_facts.h"

struct walk_listing;

// Where an entry stands in a list that does not hold it.
inline constexpr std::size_t not_listed = static_cast<std::size_t>(-1);

// One page of the site.
struct site_page {
  std::string place;  // the command file below proj/ ("docs/guide.orv")
  std::string href;   // the page below site/ ("docs/guide.htm")
  page_facts facts;   // its title is never empty: the file name stands in for a missing one
  std::size_t folder = 0;
  std::size_t shown_at = not_listed;  // its place among its folder's shown entries
  std::size_t turn_at = not_listed;   // its place among its folder's turn
  bool plain_title = true;            // its title holds nothing that HTML must escape
  bool plain_href = true;             // nor its href

  bool operator==(const site_page&) const = default;
};

// An entry of a folder's menu: a page, or a folder standing for its index page.
struct menu_entry {
  bool is_folder = false;
  std::size_t index = 0;  // into pages or folders

  bool operator==(const menu_entry&) const = default;
};

// One folder that holds pages, itself or below it.
struct site_folder {
  std::string path;  // below proj/, "" for the top
  std::string name;
  std::optional<std::size_t> parent;
  std::optional<std::size_t> index_page;  // its "index" page
  std::vector<menu_entry> entries;        // its pages (not the index) and folders, in menu order
  bool shows_entries = false;             // the menu shows one of its entries, at least
  std::vector<std::size_t> lineage;       // the folders from the top down to it, both included
  std::vector<menu_entry> shown;          // the entries the menu shows, in menu order
  std::vector<std::size_t> turn;          // the pages previous and next step through, in order
  std::size_t shown_at = not_listed;      // its place among its parent's shown entries
  bool plain_name = true;                 // its name holds nothing that HTML must escape

  bool operator==(const site_folder&) const = default;
};

// Which making of a map a map is, so that what was kept of one map's frames is never taken for
// another's; two maps with the same pages and folders are equal whichever making they are.
struct map_making {
  std::uint64_t number = 0;  // 0 for a map that no one made

  bool operator==(const map_making&) const { return true; }
};

// Every page and folder; folder 0 is the top.
struct site_map {
  std::vector<site_page> pages;  // in walk order
  std::vector<site_folder> folders;
  std::vector<std::uint32_t> by_place;  // the pages in the order of their places
  std::size_t command_files = 0;        // read to make it, a page replaced by a later one included
  map_making making{};

  bool operator==(const site_map&) const = default;
};

// One command file found by the walk: its place below proj/ and what it says of its page.
struct command_file_facts {
  std::string place;
  page_facts facts;
};

// Builds the map from command files in walk order, pages named with `page_extension` (".htm").
site_map build_site_map(const std::vector<command_file_facts>& files,
                        std::string_view page_extension);

// What the command file at `path` says of its page; nothing when it cannot be read.
std::optional<page_facts> read_command_file_facts(const std::filesystem::path& path);

// Reads every command file below `input` (as a run finds them, from `listing` when that is given
// and complete) and builds the map. The walk's own errors are the run's to report when it walks
// for the pages: the map does without.
site_map read_site_map(const std::string& input, const std::vector<std::string>& extensions,
                       std::string_view page_extension, const walk_listing* listing = nullptr);

// What the folder at `path` (below proj/, "" for the top) puts into the frames of the pages in it
// and below it: its index page and its entries as the menu shows them. Pages whose folders all
// give the same in two maps, and whose own facts are the same, have the same frame in both.
std::string folder_signature(const site_map& map, const std::string& path);

// The title a menu shows for an entry.
const std::string& entry_title(const site_map& map, const menu_entry& entry);

// Whether the menu shows an entry: a folder whose index page is hidden is hidden with it, and a
// folder without one when nothing in it is shown.
bool entry_shown(const site_map& map, const menu_entry& entry);

// The page of the command file at `place` below proj/, if the map knows it.
const site_page* page_at(const site_map& map, std::string_view place);

// The page's href as a link from its own folder ("guide.htm").
std::string_view link_in_folder(const site_map& map, const site_page& page);
