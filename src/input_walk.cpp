#include "input_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <memory>

namespace fs = std::filesystem;

namespace {

using error_report = std::function<void(const fs::filesystem_error& error)>;

struct folder_closer {
  void operator()(DIR* folder) const { closedir(folder); }
};

// The kind of the entry `name` of `folder` as its directory entry gives it, or as lstat finds it
// on a file system that leaves the type out.
walked_kind kind_of(DIR* folder, const dirent& entry) {
  unsigned char type = entry.d_type;
  if (type == DT_UNKNOWN) {
    struct stat status {};
    if (fstatat(dirfd(folder), entry.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
      type = S_ISDIR(status.st_mode)   ? DT_DIR
             : S_ISREG(status.st_mode) ? DT_REG
             : S_ISLNK(status.st_mode) ? DT_LNK
                                       : DT_UNKNOWN;
    }
  }
  switch (type) {
    case DT_DIR:
      return walked_kind::folder;
    case DT_REG:
      return walked_kind::file;
    case DT_LNK:
      return walked_kind::link;
    default:
      return walked_kind::other;
  }
}

// Appends the entries a walk meets to a listing, a record at a time: the entry's kind, how many
// leading bytes its name shares with the name before it in its folder, the rest of the name and a
// terminating zero; or the mark that closes a folder. A listing that grows past a few MiB is
// given up, and the later steps read the folder again: a run's memory stays bounded.
class listing_writer {
 public:
  explicit listing_writer(walk_listing* listing) : listing_(listing) {}

  void entry(walked_kind kind, std::string_view name, std::string_view previous) {
    if (listing_ == nullptr) {
      return;
    }
    std::size_t shared = 0;
    while (shared < std::min({name.size(), previous.size(), std::size_t{255}}) &&
           name[shared] == previous[shared]) {
      ++shared;
    }
    if (std::string* piece = room_for(name.size() - shared + 3)) {
      *piece += static_cast<char>(kind);
      *piece += static_cast<char>(shared);
      piece->append(name.substr(shared)) += '\0';
    }
  }

  void folder_end() {
    if (std::string* piece = room_for(1)) {
      *piece += folder_end_mark;
    }
  }

  // Whether every entry was kept.
  bool whole() const { return listing_ != nullptr; }

  static constexpr char folder_end_mark = 'e';

 private:
  static constexpr std::size_t piece_size = 64 * 1024;
  static constexpr std::size_t most_pieces = 64;

  std::string* room_for(std::size_t size) {
    if (listing_ == nullptr) {
      return nullptr;
    }
    std::vector<std::string>& pieces = listing_->pieces;
    if (pieces.empty() || pieces.back().size() + size > pieces.back().capacity()) {
      if (pieces.size() == most_pieces) {
        pieces = {};
        listing_ = nullptr;
        return nullptr;
      }
      pieces.emplace_back().reserve(std::max(piece_size, size));
    }
    return &pieces.back();
  }

  walk_listing* listing_;
};

// Where the name of an entry of the folder at `path[0, length)` starts in its path.
std::size_t name_start(const std::string& path, std::size_t length) {
  return length == 0 || path[length - 1] == '/' ? length : length + 1;
}

// The name of the entry before in the folder at `path[0, length)`, which `path` still holds.
std::string_view previous_name(const std::string& path, std::size_t length) {
  return path.size() > length ? std::string_view(path).substr(name_start(path, length))
                              : std::string_view();
}

// Appends `name` to the path of its folder, `path`, whose length without it is `length`.
void enter(std::string& path, std::size_t length, std::string_view name) {
  path.resize(length);
  if (name_start(path, length) != length) {
    path += '/';
  }
  path.append(name);
}

// Visits one entry; a file-system error of the visit is reported and the walk goes on.
void visit_entry(const walked_entry& entry, const entry_visit& visit, const error_report& report) {
  try {
    visit(entry);
  } catch (const fs::filesystem_error& failure) {
    report(failure);
  }
}

// Walks the folder at `path`, which it extends by each entry's name in turn and leaves as it was.
// Entries come in the order the folder lists them, without "." and "..".
void walk_folder(std::string& path, const entry_visit& visit, const error_report& report,
                 listing_writer& writer) {
  const std::unique_ptr<DIR, folder_closer> folder(opendir(path.c_str()));
  int error = folder ? 0 : errno;
  const std::size_t length = path.size();
  while (folder) {
    errno = 0;
    const dirent* entry = readdir(folder.get());
    if (entry == nullptr) {
      error = errno;
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    const walked_kind kind = kind_of(folder.get(), *entry);
    writer.entry(kind, name, previous_name(path, length));
    enter(path, length, name);
    const walked_entry walked{path, kind};
    visit_entry(walked, visit, report);
    if (walked.kind == walked_kind::folder) {
      walk_folder(path, visit, report, writer);
    }
  }
  path.resize(length);
  writer.folder_end();
  if (error != 0) {
    report(fs::filesystem_error("cannot read folder", fs::path(path),
                                std::error_code(error, std::generic_category())));
  }
}

// Visits the entries of a complete listing below the folder at `path`, in the order they were
// kept.
void replay_listing(const walk_listing& listing, std::string& path, const entry_visit& visit,
                    const error_report& report) {
  std::vector<std::size_t> lengths{path.size()};  // of the folders entered, innermost last
  for (const std::string& piece : listing.pieces) {
    for (std::size_t at = 0; at < piece.size() && !lengths.empty();) {
      if (piece[at] == listing_writer::folder_end_mark) {
        path.resize(lengths.back());
        lengths.pop_back();
        ++at;
        continue;
      }
      const auto kind = static_cast<walked_kind>(piece[at]);
      const auto shared = static_cast<unsigned char>(piece[at + 1]);
      const std::size_t end = piece.find('\0', at + 2);
      const std::string_view rest = std::string_view(piece).substr(at + 2, end - at - 2);
      if (shared == 0) {
        enter(path, lengths.back(), rest);
      } else {  // `path` still ends in the name before, which shares its first bytes
        path.resize(name_start(path, lengths.back()) + shared);
        path.append(rest);
      }
      at = end + 1;
      visit_entry({path, kind}, visit, report);
      if (kind == walked_kind::folder) {
        lengths.push_back(path.size());
      }
    }
  }
}

void walk_tree(const input_tree& tree, const entry_visit& visit, const error_report& report,
               walk_memory memory) {
  std::string path = tree.folder.native();
  if (memory.replay != nullptr && memory.replay->complete) {
    replay_listing(*memory.replay, path, visit, report);
    return;
  }
  bool failed = false;
  listing_writer writer(memory.record);
  walk_folder(
      path, visit,
      [&](const fs::filesystem_error& error) {
        failed = true;
        report(error);
      },
      writer);
  if (memory.record != nullptr) {
    memory.record->complete = !failed && writer.whole();
  }
}

// Whether the target of the link at `path` is of the type `wanted`.
bool target_is(std::string_view path, mode_t wanted, std::error_code& error) {
  struct stat status {};
  if (stat(std::string(path).c_str(), &status) != 0) {
    error.assign(errno, std::generic_category());
    return false;
  }
  error.clear();
  return (status.st_mode & S_IFMT) == wanted;
}

}  // namespace

input_tree open_input_tree(const std::string& folder) {
  return {folder, fs::canonical(folder)};
}

bool leads_to_file(const walked_entry& entry, std::error_code& error) {
  error.clear();
  return entry.kind == walked_kind::link ? target_is(entry.path, S_IFREG, error)
                                         : entry.kind == walked_kind::file;
}

bool leads_to_folder(const walked_entry& entry, std::error_code& error) {
  error.clear();
  return entry.kind == walked_kind::link ? target_is(entry.path, S_IFDIR, error)
                                         : entry.kind == walked_kind::folder;
}

// The walk never enters linked folders, so only the entry itself can be a link and only a link
// needs resolving. A link whose target lies outside the input folder keeps its own place, so
// nothing lands outside the output.
std::string place_below(const walked_entry& entry, const input_tree& tree) {
  // The walk forms every entry's path as the input folder, a separator and the rest.
  const std::string& folder = tree.folder.native();
  std::string own(entry.path.substr(folder.size() + (folder.ends_with('/') ? 0 : 1)));
  if (entry.kind != walked_kind::link) {
    return own;
  }
  fs::path resolved = fs::weakly_canonical(fs::path(entry.path)).lexically_relative(tree.resolved);
  if (resolved.empty() || *resolved.begin() == "..") {
    return own;
  }
  return resolved.native();
}

bool walk_input(const input_tree& tree, std::string_view error_prefix, const entry_visit& visit,
                walk_memory memory) {
  bool complete = true;
  walk_tree(
      tree, visit,
      [&](const fs::filesystem_error& error) {
        std::cerr << error_prefix << error.what() << "\n";
        complete = false;
      },
      memory);
  return complete;
}

void walk_input_with(const input_tree& tree, const entry_visit& visit, const error_report& failed,
                     walk_memory memory) {
  walk_tree(tree, visit, failed, memory);
}

void walk_input_in_order(const input_tree& tree, std::string_view error_prefix,
                         ordered_reports& reports, const entry_visit& visit,
                         const std::function<void()>& settle, walk_memory memory) {
  walk_tree(
      tree, visit,
      [&](const fs::filesystem_error& error) {
        settle();
        add_report(reports,
                   console_report{std::string(error_prefix) + error.what() + "\n", "", false});
      },
      memory);
}

bool run_walking_step(const std::string& source, std::string_view error_prefix,
                      const std::function<bool()>& walk, std::ostream& errors) {
  try {
    if (!fs::exists(source)) {
      errors << "Error: Source directory '" << source << "' does not exist.\n";
      return false;
    }
    return walk();
  } catch (const fs::filesystem_error& error) {
    errors << error_prefix << error.what() << "\n";
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

std::string path_joined(std::string_view path, std::string_view name) {
  std::string joined;
  joined.reserve(path.size() + 1 + name.size());
  joined.append(path);
  if (!path.empty() && !path.ends_with('/')) {
    joined += '/';
  }
  return joined.append(name);
}

bool walk_input_files(
    const std::string& input, std::string_view error_prefix,
    const std::function<void(const fs::path& file, const fs::path& place)>& visit) {
  return run_walking_step(input, error_prefix, [&] {
    const input_tree tree = open_input_tree(input);
    return walk_input(tree, error_prefix, [&](const walked_entry& entry) {
      std::error_code error;
      if (leads_to_file(entry, error)) {
        visit(fs::path(entry.path), place_below(entry, tree));
      }
    });
  });
}
