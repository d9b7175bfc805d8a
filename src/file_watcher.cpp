#include "file_watcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string_view>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "source_tree.h"

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

// A lone save starts its rebuild this long after its last event; a burst (an editor's rename
// dance, a checkout) keeps the batch open until it pauses this long, up to `longest_batch`.
constexpr milliseconds quiet_time{50};
constexpr milliseconds longest_batch{1000};
constexpr milliseconds root_retry{250};
// File times come from a clock that may lag the one read before a build by a few ticks.
constexpr milliseconds clock_margin{100};

constexpr std::uint32_t folder_events = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE |
                                        IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF |
                                        IN_MOVE_SELF | IN_ONLYDIR;

// What a watched folder stands for: part of the tree (every entry counts) or only the folder of
// some external files (only their names count). One folder may be both.
struct watched_folder {
  fs::path path;
  bool in_tree = false;
  std::set<std::string> files;
};

// Size, change time and inode of one path, as polling compares them.
using stamp = std::tuple<std::uintmax_t, std::int64_t, std::uint64_t>;

}  // namespace

struct file_watcher {
  watch_settings settings;
  int inotify_fd = -1;
  std::unordered_map<int, watched_folder> folders;
  bool root_watched = false;
  std::map<std::string, stamp> last_poll;
  std::uint64_t last_digest = 0;  // of the stamps in last_poll, as digest_of takes it
  // Paths of last_poll stamped so soon after a change that a later save of the same size could
  // leave the stamp whole (on a file system that keeps whole seconds, say).
  std::set<std::string> unsure;
  std::vector<std::string> pending;  // changes found outside events, for the next batch
  bool trace = std::getenv("ORVELLO_WATCH_TRACE") != nullptr;
};

void watcher_closer::operator()(file_watcher* watcher) const {
  if (watcher->inotify_fd >= 0) {
    close(watcher->inotify_fd);
  }
  delete watcher;
}

namespace {

std::string watch_limit_notice() {
  std::ifstream limit("/proc/sys/fs/inotify/max_user_watches");
  std::string value = "unknown";
  limit >> value;
  return "orvello: the inotify watch limit is reached (fs.inotify.max_user_watches = " + value +
         "); looking for changes by polling instead, which is slower (raise the limit with "
         "sysctl to get events)";
}

// Watches one folder; its watch descriptor, or -1 with errno set when the kernel refuses.
int watch_folder(file_watcher& watcher, const fs::path& folder, bool in_tree) {
  const int wd = inotify_add_watch(watcher.inotify_fd, folder.c_str(), folder_events);
  if (wd >= 0) {
    watched_folder& entry = watcher.folders[wd];
    entry.path = folder;
    entry.in_tree = entry.in_tree || in_tree;
  }
  return wd;
}

// Watches `folder` and every folder below it; false only when the watch limit is reached
// (folders that vanish meanwhile or cannot be read are passed over).
bool watch_tree(file_watcher& watcher, const fs::path& folder) {
  if (watch_folder(watcher, folder, true) < 0) {
    return errno != ENOSPC;
  }
  std::error_code error;
  fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                        error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    if (walk->is_directory(error) && !walk->is_symlink(error) &&
        watch_folder(watcher, walk->path(), true) < 0 && errno == ENOSPC) {
      return false;
    }
  }
  return true;
}

// Brings the watches of external files' folders in line with `settings.files`, keeping the
// watches that stay, so that no event queued on them is lost.
void watch_external_files(file_watcher& watcher) {
  std::map<fs::path, std::set<std::string>> wanted;
  for (const fs::path& file : watcher.settings.files) {
    wanted[file.has_parent_path() ? file.parent_path() : fs::path(".")].insert(
        file.filename().string());
  }
  for (auto it = watcher.folders.begin(); it != watcher.folders.end();) {
    const auto want = wanted.find(it->second.path);
    it->second.files = want == wanted.end() ? std::set<std::string>{} : want->second;
    if (want != wanted.end()) {
      wanted.erase(want);
    }
    if (!it->second.in_tree && it->second.files.empty()) {
      inotify_rm_watch(watcher.inotify_fd, it->first);
      it = watcher.folders.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& [folder, names] : wanted) {
    const int wd = watch_folder(watcher, folder, false);
    if (wd >= 0) {
      watcher.folders[wd].files.insert(names.begin(), names.end());
    }
  }
}

// Lets go of `folder` and every folder below it, which left the tree; a folder that also holds
// external files stays watched for them.
void release_tree(file_watcher& watcher, const fs::path& folder) {
  const std::string top = folder.string();
  for (auto it = watcher.folders.begin(); it != watcher.folders.end();) {
    const std::string path = it->second.path.string();
    const bool below = path == top || (path.starts_with(top) && path[top.size()] == '/');
    if (below && it->second.in_tree && it->second.files.empty()) {
      inotify_rm_watch(watcher.inotify_fd, it->first);
      it = watcher.folders.erase(it);
      continue;
    }
    if (below) {
      it->second.in_tree = false;
    }
    ++it;
  }
}

void start_polling(file_watcher& watcher) {
  if (watcher.inotify_fd >= 0) {
    close(watcher.inotify_fd);
    watcher.inotify_fd = -1;
  }
  watcher.folders.clear();
  watcher.settings.poll = true;
}

// Why events cannot be trusted on the file system holding `folder`, or nothing.
std::string eventless_file_system(const fs::path& folder) {
  struct statfs about {};
  if (statfs(folder.c_str(), &about) != 0) {
    return {};
  }
  constexpr std::array<unsigned long, 6> remote{0x6969,     0x517B,     0xFF534D42,
                                                0xFE534D42, 0x65735546, 0x01021997};
  if (std::find(remote.begin(), remote.end(), static_cast<unsigned long>(about.f_type)) ==
      remote.end()) {
    return {};
  }
  return "orvello: " + folder.string() +
         " is on a network or FUSE file system, whose changes may send no events; looking for "
         "changes by polling instead";
}

}  // namespace

namespace {

// --- Polling ----------------------------------------------------------------------------------

void stamp_path(std::map<std::string, stamp>& stamps, const fs::path& path) {
  struct stat status {};
  if (lstat(path.c_str(), &status) == 0) {
    stamps[path.string()] = {static_cast<std::uintmax_t>(status.st_size),
                             status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec,
                             status.st_ino};
  }
}

std::map<std::string, stamp> take_stamps(const watch_settings& settings) {
  std::map<std::string, stamp> stamps;
  stamp_path(stamps, settings.folder);
  std::error_code error;
  fs::recursive_directory_iterator walk(settings.folder,
                                        fs::directory_options::skip_permission_denied, error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    stamp_path(stamps, walk->path());
  }
  for (const fs::path& file : settings.files) {
    stamp_path(stamps, file);
  }
  return stamps;
}

void mix(std::uint64_t& digest, std::uint64_t value) {
  digest = (digest ^ value) * 0x100000001b3ULL;
}

void mix_stamp(std::uint64_t& digest, const struct stat& status) {
  mix(digest, static_cast<std::uint64_t>(status.st_size));
  mix(digest,
      static_cast<std::uint64_t>(status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec));
  mix(digest, status.st_ino);
}

// Mixes the names and stamps of every entry below the open folder `fd` (closed here) into
// `digest`, reading each folder through its descriptor.
void digest_folder(int fd, std::uint64_t& digest) {
  DIR* folder = fdopendir(fd);
  if (folder == nullptr) {
    close(fd);
    return;
  }
  while (const dirent* entry = readdir(folder)) {
    const std::string_view name = entry->d_name;
    struct stat status {};
    if (name == "." || name == ".." ||
        fstatat(dirfd(folder), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    mix(digest, std::hash<std::string_view>{}(name));
    mix_stamp(digest, status);
    if (S_ISDIR(status.st_mode)) {
      const int below =
          openat(dirfd(folder), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (below >= 0) {
        digest_folder(below, digest);
      }
    }
  }
  closedir(folder);
}

// One number for everything take_stamps would stamp, far cheaper to take: a poll that finds it
// unchanged needs no stamps at all.
std::uint64_t digest_of(const watch_settings& settings) {
  std::uint64_t digest = 0xcbf29ce484222325ULL;
  struct stat status {};
  if (lstat(settings.folder.c_str(), &status) == 0) {
    mix_stamp(digest, status);
    const int fd = open(settings.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      digest_folder(fd, digest);
    }
  }
  for (const fs::path& file : settings.files) {
    mix(digest, std::hash<std::string>{}(file.string()));
    if (lstat(file.c_str(), &status) == 0) {
      mix_stamp(digest, status);
    }
  }
  return digest;
}

// Whether a later save of the same size could leave `taken` whole, as it is `now`.
bool unsure_stamp(const stamp& taken, std::int64_t now) {
  file_stamp times;
  times.modified = std::get<1>(taken);
  times.changed = times.modified;
  return racy_at(times, now);
}

std::int64_t nanoseconds_now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Notes `path` as unsure when its stamp in last_poll cannot be trusted yet at `now`.
void note_if_unsure(file_watcher& watcher, const std::string& path, std::int64_t now) {
  const auto taken = watcher.last_poll.find(path);
  if (taken != watcher.last_poll.end() && unsure_stamp(taken->second, now)) {
    watcher.unsure.insert(path);
  }
}

// Takes every stamp anew, and notes which of them cannot be trusted yet; a path already unsure
// stays so until add_settled reports it.
void restamp(file_watcher& watcher) {
  watcher.last_poll = take_stamps(watcher.settings);
  const std::int64_t now = nanoseconds_now();
  for (const auto& entry : watcher.last_poll) {
    note_if_unsure(watcher, entry.first, now);
  }
}

// Adds to `batch` every unsure path whose clock has surely moved on since its stamp: a save made
// meanwhile may have left the stamp as it was, so the path counts as changed once more.
void add_settled(file_watcher& watcher, change_batch& batch) {
  const std::int64_t now = nanoseconds_now();
  for (auto it = watcher.unsure.begin(); it != watcher.unsure.end();) {
    const auto taken = watcher.last_poll.find(*it);
    if (taken != watcher.last_poll.end() && unsure_stamp(taken->second, now)) {
      ++it;
      continue;
    }
    if (taken != watcher.last_poll.end()) {
      batch.paths.push_back(*it);
    }
    it = watcher.unsure.erase(it);
  }
}

// Adds to `batch` every path whose stamp differs between `before` and `after`.
void add_differences(const std::map<std::string, stamp>& before,
                     const std::map<std::string, stamp>& after, change_batch& batch) {
  for (const auto& [path, now] : after) {
    const auto old = before.find(path);
    if (old == before.end() || old->second != now) {
      batch.paths.push_back(path);
    }
  }
  for (const auto& [path, old] : before) {
    if (!after.contains(path)) {
      batch.paths.push_back(path);
    }
  }
}

// Sleeps `time` unless `stop_fd` becomes readable first; false when it did.
bool sleep_unless_stopped(int stop_fd, milliseconds time) {
  pollfd stop{stop_fd, POLLIN, 0};
  return poll(&stop, 1, static_cast<int>(time.count())) == 0;
}

std::optional<change_batch> poll_for_changes(file_watcher& watcher, int stop_fd) {
  change_batch batch;
  auto started = std::chrono::steady_clock::now();
  for (;;) {
    const std::size_t known = batch.paths.size();
    if (!sleep_unless_stopped(stop_fd, known == 0 ? watcher.settings.poll_interval : quiet_time)) {
      return std::nullopt;
    }
    add_settled(watcher, batch);
    const std::uint64_t digest = digest_of(watcher.settings);
    if (digest != watcher.last_digest) {
      const std::map<std::string, stamp> before = std::move(watcher.last_poll);
      restamp(watcher);
      add_differences(before, watcher.last_poll, batch);
      watcher.last_digest = digest;
    }
    if (known == 0) {
      started = std::chrono::steady_clock::now();
    } else if (batch.paths.size() == known ||
               std::chrono::steady_clock::now() - started > longest_batch) {
      return batch;
    }
  }
}

// --- Events -----------------------------------------------------------------------------------

void trace_event(const file_watcher& watcher, const inotify_event& event, const fs::path& path) {
  if (watcher.trace) {
    std::cerr << "watch: " << std::hex << event.mask << std::dec << " " << path.string() << "\n";
  }
}

// The folder `settings.folder` was removed or replaced: watch it anew once it is back.
void rewatch_root(file_watcher& watcher, change_batch& batch) {
  watcher.root_watched = std::filesystem::is_directory(watcher.settings.folder) &&
                         watch_tree(watcher, watcher.settings.folder);
  if (watcher.root_watched) {
    batch.overflowed = true;  // whatever happened in between is unknown
    batch.paths.push_back(watcher.settings.folder.string());
  }
}

void take_event(file_watcher& watcher, const inotify_event& event, change_batch& batch) {
  if (event.mask & IN_Q_OVERFLOW) {
    batch.overflowed = true;
    batch.paths.push_back(watcher.settings.folder.string());
    watch_tree(watcher, watcher.settings.folder);  // folders made meanwhile sent nothing
    return;
  }
  const auto found = watcher.folders.find(event.wd);
  if (found == watcher.folders.end()) {
    return;
  }
  const watched_folder folder = found->second;
  const std::string name = event.len > 0 ? event.name : "";
  const fs::path path = name.empty() ? folder.path : folder.path / name;
  trace_event(watcher, event, path);
  if (event.mask & IN_IGNORED) {
    watcher.folders.erase(found);
    if (folder.in_tree && folder.path == watcher.settings.folder) {
      watcher.root_watched = false;
    }
    return;
  }
  if (!folder.in_tree && !folder.files.contains(name)) {
    return;  // a neighbour of an external file
  }
  if ((event.mask & IN_MOVE_SELF) && folder.path != watcher.settings.folder &&
      !fs::is_directory(folder.path)) {
    inotify_rm_watch(watcher.inotify_fd, event.wd);  // moved out of the tree; a move within it
    return;                                          // has already renamed the watch
  }
  if (folder.in_tree && (event.mask & IN_ISDIR) && (event.mask & IN_MOVED_FROM)) {
    release_tree(watcher, path);  // out of the tree, or watched anew where it moved to
  }
  if (folder.in_tree && (event.mask & IN_ISDIR) && (event.mask & (IN_CREATE | IN_MOVED_TO)) &&
      !watch_tree(watcher, path)) {
    batch.notice = watch_limit_notice();
  }
  batch.paths.push_back(path.string());
}

// Reads every event waiting; false when the descriptor failed.
bool read_events(file_watcher& watcher, change_batch& batch) {
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = read(watcher.inotify_fd, buffer, sizeof buffer);
    if (got < 0) {
      return errno == EAGAIN || errno == EINTR;
    }
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      take_event(watcher, *event, batch);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

// Waits up to `timeout` (-1: for ever) for events or the stop; -1 stop, 0 nothing, 1 events.
int wait_for_events(const file_watcher& watcher, int stop_fd, int timeout) {
  std::array<pollfd, 2> fds{{{watcher.inotify_fd, POLLIN, 0}, {stop_fd, POLLIN, 0}}};
  if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
    return -1;
  }
  if (fds[1].revents != 0) {
    return -1;
  }
  return fds[0].revents != 0 ? 1 : 0;
}

std::optional<change_batch> gather_events(file_watcher& watcher, int stop_fd) {
  change_batch batch;
  auto started = std::chrono::steady_clock::now();
  for (;;) {
    const bool bursting = !batch.paths.empty() || !batch.notice.empty();
    const int timeout = bursting               ? static_cast<int>(quiet_time.count())
                        : watcher.root_watched ? -1
                                               : static_cast<int>(root_retry.count());
    const int woke = wait_for_events(watcher, stop_fd, timeout);
    if (woke < 0) {
      return std::nullopt;
    }
    if (woke == 0 && bursting) {
      return batch;
    }
    if (woke == 0 && !watcher.root_watched) {
      rewatch_root(watcher, batch);
    }
    if (!bursting) {
      started = std::chrono::steady_clock::now();
    }
    if (woke > 0 && !read_events(watcher, batch)) {
      return std::nullopt;
    }
    if (!batch.paths.empty() && std::chrono::steady_clock::now() - started > longest_batch) {
      return batch;
    }
  }
}

}  // namespace

watcher_handle open_watcher(const watch_settings& settings, std::string& notice) {
  watcher_handle watcher(new file_watcher);
  watcher->settings = settings;
  notice.clear();
  if (!settings.poll) {
    notice = eventless_file_system(settings.folder);
  }
  if (!settings.poll && notice.empty()) {
    watcher->inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watcher->inotify_fd < 0) {
      notice = std::string("orvello: cannot watch for changes (") + std::strerror(errno) +
               "); looking for changes by polling instead";
    } else if (!watch_tree(*watcher, settings.folder)) {
      notice = watch_limit_notice();
    } else {
      watcher->root_watched = fs::is_directory(settings.folder);
      watch_external_files(*watcher);
      return watcher;
    }
  }
  start_polling(*watcher);
  restamp(*watcher);
  return watcher;
}

void watch_files(file_watcher& watcher, const std::vector<fs::path>& files,
                 fs::file_time_type read_since) {
  if (watcher.settings.files == files) {
    return;
  }
  // A file watched from now on may have changed after the build read it and before this.
  const std::set<fs::path> known(watcher.settings.files.begin(), watcher.settings.files.end());
  for (const fs::path& file : files) {
    std::error_code error;
    if (!known.contains(file) && fs::last_write_time(file, error) >= read_since - clock_margin &&
        !error) {
      watcher.pending.push_back(file.string());
    }
  }
  watcher.settings.files = files;
  if (watcher.settings.poll) {  // what changed since the last poll still counts
    for (const fs::path& file : files) {
      if (!watcher.last_poll.contains(file.string())) {
        stamp_path(watcher.last_poll, file);
        note_if_unsure(watcher, file.string(), nanoseconds_now());
      }
    }
  } else {
    watch_external_files(watcher);
  }
}

namespace {

std::optional<change_batch> take_event_batch(file_watcher& watcher, int stop_fd) {
  std::optional<change_batch> batch = gather_events(watcher, stop_fd);
  if (batch && !batch->notice.empty()) {  // the watch limit was reached on a new folder
    start_polling(watcher);
    restamp(watcher);
  }
  return batch;
}

}  // namespace

std::optional<change_batch> wait_for_changes(file_watcher& watcher, int stop_fd) {
  if (!watcher.pending.empty()) {
    change_batch found;
    found.paths = std::exchange(watcher.pending, {});
    return found;
  }
  std::optional<change_batch> batch = watcher.settings.poll ? poll_for_changes(watcher, stop_fd)
                                                            : take_event_batch(watcher, stop_fd);
  if (batch) {
    std::sort(batch->paths.begin(), batch->paths.end());
    batch->paths.erase(std::unique(batch->paths.begin(), batch->paths.end()), batch->paths.end());
  }
  return batch;
}
