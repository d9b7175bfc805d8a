// What rebuilds remember of proj/: every folder's entries in the order the walk meets them, each
// with the stamp it had when it was last built, and for each command file what its page read and
// the state it started from and ended in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "block_records.h"
#include "prose_settings.h"

// What tells one version of a file from the next. Times are nanoseconds; a stamp taken so soon
// after a write that a second write could leave the same times is racy and never matches.
struct file_stamp {
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
  std::uint32_t mode = 0;  // 0 when nothing is there
  bool racy = false;
};

// True when both stamps name the same version of a file.
bool same_stamp(const file_stamp& a, const file_stamp& b);

// The stamp of `path`, symbolic links followed; an empty stamp when nothing is there.
file_stamp read_stamp(const std::filesystem::path& path);

// True when a later write could leave `stamp`'s times unchanged, as it was taken at `now`
// (nanoseconds since the epoch): its file changed within one step of its file system's clock.
bool racy_at(const file_stamp& stamp, std::int64_t now);

// An external file that a page read, and the stamp it had just before.
struct external_seen {
  std::uint32_t input = 0;  // index into remembered_site::externals
  file_stamp stamp;
};

// What one command file's page depends on and leaves behind.
struct page_memory {
  std::uint64_t start_digest = 0;  // records_digest of the state the page started from
  std::uint64_t end_digest = 0;    // and of the state it left
  bool written = false;            // its page was written whole
  std::vector<external_seen> externals;
  std::vector<std::string> problems;        // the error and warning lines compiling it printed
  std::unique_ptr<block_records> snapshot;  // the start state itself, on every few pages
};

struct folder_node;

// What one walk entry is to a run.
enum class entry_kind : std::uint8_t { folder, command_file, asset, other, link };

// One entry of a folder of proj/.
struct tree_entry {
  std::string name;
  file_stamp stamp;
  entry_kind kind = entry_kind::other;
  bool final_writer = false;  // a run leaves its output, not a later one, at its place
  bool replaces = false;      // a page written over an asset or an earlier page of a run
  bool dirty = false;         // new or changed since the last build: its output is due again
  std::unique_ptr<folder_node> folder;
  std::unique_ptr<page_memory> page;
};

// A folder of proj/ with its entries in directory order.
struct folder_node {
  std::vector<tree_entry> entries;
};

// An external file that pages read, with its stamp as of the last look.
struct external_file {
  std::filesystem::path path;
  file_stamp now;
};

// The remembered state of the last build.
struct remembered_site {
  folder_node root;
  bool png_icon = false;        // the pages link favicon.png
  bool has_links = false;       // proj/ holds symbolic links, whose targets cannot be watched
  bool plans_conflict = false;  // a page would be written over a folder or main.css is a folder
  std::vector<std::string> removals;    // outputs below site/ that the last refresh made stale
  std::string page_extension = ".htm";  // of the pages, as the settings name it
  prose_settings prose;                 // as the settings turn them on
  std::vector<external_file> externals;
  std::unordered_map<std::string, std::uint32_t> external_index;
};

// The page name a command file's output takes ("guide.orv" gives "guide.htm").
std::string page_name(const std::string& command_file, const std::string& extension = ".htm");

// The path below proj/ of the entry `name` of the folder at `relative` ("" for proj/ itself).
std::string joined(const std::string& relative, const std::string& name);

// Reads `folder` (a folder of proj/, named from the working folder, with `relative` its path
// below proj/) again into `node`: entries that are new or whose stamp changed become dirty, and
// sub-folders are read again when `everything`, when they are new or when their own stamp
// changed. Outputs that no longer have a writer are added to `site.removals`.
void refresh_folder(remembered_site& site, folder_node& node, const std::filesystem::path& folder,
                    const std::string& relative, bool everything);

// Decides for each entry of `node` whether a run leaves its output in place and whether a page
// replaces an earlier writer; an entry whose decision changed becomes dirty.
void plan_folder(remembered_site& site, folder_node& node, bool top);

// The index of `path` in the table of external files, added when new.
std::uint32_t external_input(remembered_site& site, const std::filesystem::path& path);
