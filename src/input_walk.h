// The walk over the input folder that the steps of a run share: the order entries come in, the
// place each belongs below the output folder, and how a failure of the walk is reported.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "ordered_console.h"

// The input folder as named and as resolved once for the whole walk.
struct input_tree {
  std::filesystem::path folder;
  std::filesystem::path resolved;
};

// The input folder `folder`, resolved.
input_tree open_input_tree(const std::string& folder);

// What an entry of the walk is in itself: a link is a link, wherever it leads.
enum class walked_kind : std::uint8_t { folder, file, link, other };

// One entry as the walk meets it: its path as the walk forms it (the input folder, a separator
// and the rest, "proj/docs/a.png"), valid only during the visit, and its own kind.
struct walked_entry {
  std::string_view path;
  walked_kind kind = walked_kind::other;
  // The entry's name, the part of its path after the last '/'.
  std::string_view name() const { return path.substr(path.rfind('/') + 1); }
};

// Whether `entry` is a regular file, links followed; a link that cannot be followed sets `error`.
bool leads_to_file(const walked_entry& entry, std::error_code& error);

// Whether `entry` is a folder, links followed; a link that cannot be followed sets `error`.
bool leads_to_folder(const walked_entry& entry, std::error_code& error);

// Where an entry of the walk belongs below the output folder: its own place, or for a link the
// place of its target when that lies inside the input folder.
std::string place_below(const walked_entry& entry, const input_tree& tree);

// What the walk calls with each entry; a file-system error it throws is reported, not fatal.
using entry_visit = std::function<void(const walked_entry& entry)>;

// The entries one walk met, kept so that the later steps of a run walk them again without
// reading the input folder again: each entry's kind and name in walk order, each folder's
// entries closed by a mark, in pieces of about 64 KiB (a few bytes an entry).
struct walk_listing {
  std::vector<std::string> pieces;
  bool complete = false;  // the walk that kept it met no error and visited every entry
};

// Where a walk takes its entries from and what it keeps of them: from `replay` when it is
// complete, else from the input folder, kept in `record` when that is given.
struct walk_memory {
  walk_listing* record = nullptr;
  const walk_listing* replay = nullptr;
};

// Walks the input folder in pre-order, entering folders as they come but never a link to a
// folder, and calls `visit` with every entry. A folder that cannot be read, or an entry whose
// visit fails with a file-system error, is reported after `error_prefix` and the walk goes on
// with everything else; the result is false if anything failed.
bool walk_input(const input_tree& tree, std::string_view error_prefix, const entry_visit& visit,
                walk_memory memory = {});

// Like walk_input, but each failure goes to `failed` instead of being printed.
void walk_input_with(
    const input_tree& tree, const entry_visit& visit,
    const std::function<void(const std::filesystem::filesystem_error& error)>& failed,
    walk_memory memory = {});

// Like walk_input, but for a step whose work ends out of order: the walk's own errors join
// `reports` in walk order, after whatever `settle` adds for the entries before them.
void walk_input_in_order(const input_tree& tree, std::string_view error_prefix,
                         ordered_reports& reports, const entry_visit& visit,
                         const std::function<void()>& settle, walk_memory memory = {});

// Runs a step that walks the input folder `source`: a missing folder fails the step with its
// message to `errors`, and so does a file-system error that ends `walk`, after `error_prefix`.
bool run_walking_step(const std::string& source, std::string_view error_prefix,
                      const std::function<bool()>& walk, std::ostream& errors = std::cerr);

// Creates `folder` with its missing ancestors unless it is `known`, the folder made sure of last:
// the files of one folder come one after another in the walk, so most files need no system call.
void create_folder(std::string_view folder, std::string& known);

// The folder part of `path` (up to its last '/'), empty when it has none.
std::string_view folder_of(std::string_view path);

// `path` and `name` joined by one separator, as std::filesystem::path's `/` joins a relative name.
std::string path_joined(std::string_view path, std::string_view name);

// Calls `visit` with every regular file below `input` (links followed), as the walk forms its path
// ("proj/docs/a.png") and with its place below the output folder, in the order a run meets them;
// false, after an error line that starts with `error_prefix`, when the walk could not complete.
bool walk_input_files(const std::string& input, std::string_view error_prefix,
                      const std::function<void(const std::filesystem::path& file,
                                               const std::filesystem::path& place)>& visit);
