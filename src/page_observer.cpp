#include "page_observer.h"

page_observer* active_page_observer = nullptr;

void observe_page_start(const std::filesystem::path& command_file, const page_icon& icon) {
  if (active_page_observer != nullptr && active_page_observer->page_started) {
    active_page_observer->page_started(command_file, icon);
  }
}

void observe_page_end(bool written) {
  if (active_page_observer != nullptr && active_page_observer->page_finished) {
    active_page_observer->page_finished(written);
  }
}

void observe_external_read(const std::filesystem::path& file) {
  if (active_page_observer != nullptr && active_page_observer->external_read) {
    active_page_observer->external_read(file);
  }
}
