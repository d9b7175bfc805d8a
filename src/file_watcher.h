// Watching proj/ and the external files that pages read, so that a preview rebuilds when they
// change. Linux inotify, or polling where events cannot be had.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What to watch and how.
struct watch_settings {
  std::filesystem::path folder;              // watched with every folder below it, new ones too
  std::vector<std::filesystem::path> files;  // single files anywhere (external inputs)
  bool poll = false;                         // poll instead of asking the kernel for events
  std::chrono::milliseconds poll_interval{300};
};

// What changed since the last batch; one batch is one rebuild.
struct change_batch {
  std::vector<std::string> paths;  // the changed paths as named from the watched folder or file
  bool overflowed = false;         // events were lost: only a full rebuild can be trusted
  std::string notice;  // a line to show: the watcher has fallen back to polling, and why
};

// The state of one watcher (inotify descriptors, or the last poll's stamps).
struct file_watcher;
struct watcher_closer {
  void operator()(file_watcher* watcher) const;
};
using watcher_handle = std::unique_ptr<file_watcher, watcher_closer>;

// Starts watching; a fallback to polling (the watch limit reached, a file system without
// events) is said in `notice`, one line naming the cause, empty when there is none.
watcher_handle open_watcher(const watch_settings& settings, std::string& notice);

// Replaces the single files watched (after a rebuild found the pages reading others). A newly
// watched file written since `read_since` (when the build that read it started) makes the next
// batch at once, as its change may have come after the build read it.
void watch_files(file_watcher& watcher, const std::vector<std::filesystem::path>& files,
                 std::filesystem::file_time_type read_since);

// Waits for the next change and gathers the burst it starts (an editor's save, a checkout) into
// one batch, which ends once no event came for a few tens of milliseconds; nothing when
// `stop_fd` became readable first. Events that arrive while the caller rebuilds wait in the
// kernel and make the next batch.
std::optional<change_batch> wait_for_changes(file_watcher& watcher, int stop_fd);
