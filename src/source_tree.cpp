#include "source_tree.h"

#include "prose_settings.h"

#include <sys/stat.h>

#include <chrono>
#include <string_view>

#include "generator.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

// File times come from a clock that advances in steps of a few milliseconds, so two writes that
// close together can leave the same times; a stamp taken within this much of its file's last
// change is not trusted to tell them apart.
constexpr std::int64_t racy_window_ns = 50'000'000;
// Some file systems keep whole seconds (FAT even seconds): there two saves of one size within the
// same step leave the same stamp, however long after the first the stamp was taken.
constexpr std::int64_t second_step_ns = 1'000'000'000;
constexpr std::int64_t whole_seconds_window_ns = 2 * second_step_ns + racy_window_ns;

std::int64_t nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

const std::vector<std::string> command_extensions = command_file_extensions();

entry_kind kind_of(const fs::directory_entry& entry) {
  std::error_code error;
  if (entry.is_symlink(error)) {
    return entry_kind::link;
  }
  if (entry.is_directory(error)) {
    return entry_kind::folder;
  }
  if (!entry.is_regular_file(error)) {
    return entry_kind::other;
  }
  return is_command_file(entry.path().filename().native(), command_extensions)
             ? entry_kind::command_file
             : entry_kind::asset;
}

// The name a run gives the output of `entry` in its folder; empty when it writes none.
std::string output_name(const tree_entry& entry, const std::string& page_extension) {
  switch (entry.kind) {
    case entry_kind::folder:
      return entry.name;
    case entry_kind::command_file:
      return entry.final_writer ? page_name(entry.name, page_extension) : std::string();
    case entry_kind::asset:
      return entry.final_writer ? entry.name : std::string();
    default:
      return {};
  }
}

// The outputs a folder's entries leave in site/, by name, each marked when it is a folder.
std::unordered_map<std::string, bool> outputs_of(const std::vector<tree_entry>& entries,
                                                 const std::string& page_extension,
                                                 const prose_settings& prose) {
  std::unordered_map<std::string, bool> outputs;
  for (const tree_entry& entry : entries) {
    std::string name = output_name(entry, page_extension);
    if (!name.empty()) {
      outputs[std::move(name)] = entry.kind == entry_kind::folder;
    }
    if (entry.kind == entry_kind::command_file && entry.final_writer &&
        is_source_page(prose, entry.name)) {
      outputs[entry.name] = false;  // the source file itself, copied beside its page
    }
  }
  return outputs;
}

// Takes over what the last build knew of `entry` from `old`, and reads it again when it is a
// folder that is new, changed or wanted in full.
void carry_over(remembered_site& site, tree_entry& entry, tree_entry* old, const fs::path& path,
                const std::string& relative, bool everything) {
  const bool known = old != nullptr && old->kind == entry.kind;
  // A folder read twice in one rebuild keeps what the first reading found changed.
  entry.dirty = !known || old->dirty || !same_stamp(old->stamp, entry.stamp);
  if (known) {
    entry.final_writer = old->final_writer;
    entry.replaces = old->replaces;
    entry.page = std::move(old->page);
    entry.folder = std::move(old->folder);
  }
  if (entry.kind != entry_kind::folder) {
    return;
  }
  const bool fresh = entry.folder == nullptr;
  if (fresh) {
    entry.folder = std::make_unique<folder_node>();
  }
  if (everything || entry.dirty) {
    refresh_folder(site, *entry.folder, path, relative, everything || fresh);
  }
}

}  // namespace

std::string joined(const std::string& relative, const std::string& name) {
  return relative.empty() ? name : relative + "/" + name;
}

bool same_stamp(const file_stamp& a, const file_stamp& b) {
  return !a.racy && !b.racy && a.inode == b.inode && a.size == b.size && a.modified == b.modified &&
         a.changed == b.changed && a.mode == b.mode;
}

file_stamp read_stamp(const fs::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return {};
  }
  const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  file_stamp stamp;
  stamp.inode = status.st_ino;
  stamp.size = static_cast<std::uint64_t>(status.st_size);
  stamp.modified = nanoseconds(status.st_mtim);
  stamp.changed = nanoseconds(status.st_ctim);
  stamp.mode = status.st_mode;
  stamp.racy = racy_at(stamp, now);
  return stamp;
}

bool racy_at(const file_stamp& stamp, std::int64_t now) {
  const bool whole_seconds =
      stamp.modified % second_step_ns == 0 && stamp.changed % second_step_ns == 0;
  return now - std::max(stamp.modified, stamp.changed) <
         (whole_seconds ? whole_seconds_window_ns : racy_window_ns);
}

std::string page_name(const std::string& command_file, const std::string& extension) {
  return fs::path(command_file).replace_extension(extension).string();
}

void refresh_folder(remembered_site& site, folder_node& node, const fs::path& folder,
                    const std::string& relative, bool everything) {
  std::vector<tree_entry> old = std::move(node.entries);
  const std::unordered_map<std::string, bool> old_outputs =
      outputs_of(old, site.page_extension, site.prose);
  std::unordered_map<std::string_view, std::size_t> old_by_name;
  for (std::size_t i = 0; i < old.size(); ++i) {
    old_by_name.emplace(old[i].name, i);
  }
  node.entries.clear();
  for (const fs::directory_entry& found : fs::directory_iterator(folder)) {
    tree_entry entry;
    entry.name = found.path().filename().string();
    entry.kind = kind_of(found);
    entry.stamp = read_stamp(found.path());
    site.has_links = site.has_links || entry.kind == entry_kind::link;
    const auto match = old_by_name.find(entry.name);
    carry_over(site, entry, match == old_by_name.end() ? nullptr : &old[match->second],
               found.path(), joined(relative, entry.name), everything);
    node.entries.push_back(std::move(entry));
  }
  plan_folder(site, node, relative.empty());
  const std::unordered_map<std::string, bool> new_outputs =
      outputs_of(node.entries, site.page_extension, site.prose);
  for (const auto& [name, is_folder] : old_outputs) {
    const auto kept = new_outputs.find(name);
    if (kept == new_outputs.end() || kept->second != is_folder) {
      site.removals.push_back(joined(relative, name));
    }
  }
}

void plan_folder(remembered_site& site, folder_node& node, bool top) {
  std::unordered_map<std::string, std::size_t> writer;
  for (std::size_t i = 0; i < node.entries.size(); ++i) {
    if (node.entries[i].kind == entry_kind::folder) {
      writer.emplace(node.entries[i].name, i);
      site.plans_conflict = site.plans_conflict || (top && node.entries[i].name == "main.css");
    }
  }
  std::vector<bool> final_writer(node.entries.size(), false);
  std::vector<bool> replaces(node.entries.size(), false);
  for (std::size_t i = 0; i < node.entries.size(); ++i) {
    if (node.entries[i].kind == entry_kind::asset) {
      writer.emplace(node.entries[i].name, i);
      final_writer[i] = !(top && node.entries[i].name == "main.css");  // the stylesheet wins
    }
  }
  for (std::size_t i = 0; i < node.entries.size(); ++i) {
    if (node.entries[i].kind != entry_kind::command_file) {
      continue;
    }
    const auto [earlier, added] =
        writer.try_emplace(page_name(node.entries[i].name, site.page_extension), i);
    if (!added) {
      const bool over_folder = node.entries[earlier->second].kind == entry_kind::folder;
      site.plans_conflict = site.plans_conflict || over_folder;
      replaces[i] = true;
      final_writer[earlier->second] = false;
      earlier->second = i;
    }
    final_writer[i] = true;
  }
  for (std::size_t i = 0; i < node.entries.size(); ++i) {
    tree_entry& entry = node.entries[i];
    if (entry.final_writer != final_writer[i] || entry.replaces != replaces[i]) {
      entry.dirty = true;
    }
    entry.final_writer = final_writer[i];
    entry.replaces = replaces[i];
  }
}

std::uint32_t external_input(remembered_site& site, const fs::path& path) {
  const auto [found, added] = site.external_index.try_emplace(
      path.string(), static_cast<std::uint32_t>(site.externals.size()));
  if (added) {
    site.externals.push_back({path, read_stamp(path)});
  }
  return found->second;
}
