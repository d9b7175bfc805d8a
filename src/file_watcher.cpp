#include "file_watcher.h"

#include <poll.h>

// A stand-in until the watcher is built: it reports nothing until it is stopped.
struct file_watcher {
  watch_settings settings;
};

void watcher_closer::operator()(file_watcher* watcher) const {
  delete watcher;
}

watcher_handle open_watcher(const watch_settings& settings, std::string& notice) {
  notice.clear();
  return watcher_handle(new file_watcher{settings});
}

void watch_files(file_watcher& watcher, const std::vector<std::filesystem::path>& files) {
  watcher.settings.files = files;
}

std::optional<change_batch> wait_for_changes(file_watcher&, int stop_fd) {
  pollfd stop{stop_fd, POLLIN, 0};
  poll(&stop, 1, -1);
  return std::nullopt;
}
