// The watcher on real folders: what moves in and out of the tree, and external files across
// rebuilds. Every wait is bounded by a timer that stands in for the stop.
#include "file_watcher.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

// The inotify watches this process holds, as the kernel lists them.
int watch_count() {
  int count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fdinfo")) {
    std::ifstream info(entry.path());
    for (std::string line; std::getline(info, line);) {
      count += line.starts_with("inotify wd:") ? 1 : 0;
    }
  }
  return count;
}

class FileWatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/orvello-watch-XXXXXX";
    root = mkdtemp(name);
    fs::create_directories(root / "proj/a/b");
    fs::create_directories(root / "outside");
  }
  void TearDown() override { fs::remove_all(root); }

  watcher_handle open(std::vector<fs::path> files = {}) {
    std::string notice;
    watcher_handle watcher = open_watcher({root / "proj", std::move(files), false, {}}, notice);
    EXPECT_EQ("", notice);
    return watcher;
  }

  // The next batch, or nothing when none came within `limit`.
  static std::optional<change_batch> next(file_watcher& watcher, milliseconds limit) {
    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    itimerspec when{};
    when.it_value.tv_sec = limit.count() / 1000;
    when.it_value.tv_nsec = (limit.count() % 1000) * 1000000;
    timerfd_settime(timer, 0, &when, nullptr);
    std::optional<change_batch> batch = wait_for_changes(watcher, timer);
    close(timer);
    return batch;
  }

  static bool holds(const std::optional<change_batch>& batch, const fs::path& path) {
    return batch &&
           std::find(batch->paths.begin(), batch->paths.end(), path.string()) != batch->paths.end();
  }

  static void write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

  fs::path root;
};

TEST_F(FileWatcher, AFileMovedInFromOutsideIsInTheNextBatch) {
  write(root / "outside/page.orv", "@title\n");
  const watcher_handle watcher = open();
  fs::rename(root / "outside/page.orv", root / "proj/page.orv");
  EXPECT_TRUE(holds(next(*watcher, milliseconds(5000)), root / "proj/page.orv"));
}

TEST_F(FileWatcher, AFolderMovedOutIsLetGoWithEveryFolderBelowIt) {
  const int before = watch_count();
  const watcher_handle watcher = open();
  EXPECT_EQ(before + 3, watch_count());
  fs::rename(root / "proj/a", root / "outside/a");
  EXPECT_TRUE(holds(next(*watcher, milliseconds(5000)), root / "proj/a"));
  EXPECT_EQ(before + 1, watch_count());
  write(root / "outside/a/b/trash.txt", "later");
  write(root / "outside/a/edited.txt", "later");
  EXPECT_FALSE(next(*watcher, milliseconds(300)).has_value());
}

TEST_F(FileWatcher, AFolderMovedWithinTheTreeIsWatchedWhereItWent) {
  const watcher_handle watcher = open();
  fs::rename(root / "proj/a", root / "proj/c");
  EXPECT_TRUE(holds(next(*watcher, milliseconds(5000)), root / "proj/c"));
  write(root / "proj/c/b/new.orv", "@title\n");
  EXPECT_TRUE(holds(next(*watcher, milliseconds(5000)), root / "proj/c/b/new.orv"));
}

TEST_F(FileWatcher, NoChangeToAnExternalFileIsMissedAcrossRebuilds) {
  const fs::path one = root / "outside/one.txt";
  const fs::path two = root / "outside/two.txt";
  write(one, "1");
  write(two, "2");
  fs::last_write_time(two, fs::file_time_type::clock::now() - std::chrono::seconds(10));
  const watcher_handle watcher = open({one});
  // Changed during a rebuild whose pages start reading another file: the watch stays on.
  write(one, "changed during the rebuild");
  watch_files(*watcher, {one, two}, fs::file_time_type::clock::now());
  EXPECT_TRUE(holds(next(*watcher, milliseconds(5000)), one));
  // A file first read by a rebuild and changed before its watch began.
  const fs::path three = root / "outside/three.txt";
  const auto rebuild_started = fs::file_time_type::clock::now();
  write(three, "changed after it was read");
  watch_files(*watcher, {one, two, three}, rebuild_started);
  EXPECT_TRUE(holds(next(*watcher, milliseconds(5000)), three));
}

TEST_F(FileWatcher, APollReportsASaveThatLeftTheStampAsItWas) {
  // As a file system that keeps whole seconds leaves two saves of one size within a second.
  const fs::path notes = root / "proj/notes.md";
  const auto now = fs::file_time_type::clock::now();
  const auto second = std::chrono::floor<std::chrono::seconds>(now);
  write(notes, "# After *all*\n");
  fs::last_write_time(notes, second);
  for (const fs::path& folder : {root / "proj", root / "proj/a", root / "proj/a/b"}) {
    fs::last_write_time(folder, now - std::chrono::seconds(10));
  }
  std::string notice;
  const watcher_handle watcher = open_watcher({root / "proj", {}, true, milliseconds(100)}, notice);
  write(notes, "# Again *all*\n");
  fs::last_write_time(notes, second);
  EXPECT_TRUE(holds(next(*watcher, milliseconds(5000)), notes));
}

}  // namespace
