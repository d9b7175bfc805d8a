// orvello serve: builds the site, serves it on the local host and rebuilds it as proj/ changes,
// reloading the open pages.
#pragma once

#include <string>

#include "file_watcher.h"

// How the preview is served.
struct serve_options {
  std::string bind = "127.0.0.1";
  int port = 8000;
  bool port_given = false;  // an explicit port is never replaced by the next free one
  bool poll = false;        // poll for changes instead of asking the kernel
  bool reload = true;       // add the reload script to served pages
};

// What serve asks of the watcher: proj/, by events or by polling at the usual interval.
watch_settings watch_settings_of(const serve_options& options);

// Builds the site, then serves and watches until SIGINT or SIGTERM; returns the exit status.
int run_serve(const serve_options& options, const std::string& timestamp);
