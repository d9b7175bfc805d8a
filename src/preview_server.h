// The HTTP side of `orvello serve`: serves the files of site/ and tells the open pages when to
// reload.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Where and how the preview listens.
struct preview_settings {
  std::string bind = "127.0.0.1";
  int port = 8000;
  bool port_given = false;  // a taken port is an error instead of a reason to try the next one
  bool reload = true;       // add the reload script to served pages
  std::filesystem::path site = "site";
};

// A bound preview server: the listening socket, the serving thread and the open event streams.
struct preview_server;
struct preview_closer {
  void operator()(preview_server* server) const;
};
using preview_handle = std::unique_ptr<preview_server, preview_closer>;

// Listens as `settings` asks; when the default port is taken, on the next free one. Nothing, and
// a one-line `error`, when the HTTP library cannot be loaded or no port could be had.
preview_handle open_preview(const preview_settings& settings, std::string& error);

// The port that `server` listens on.
int preview_port(const preview_server& server);

// Answers requests on a thread of its own until stop_preview is called; false when serving
// could not start.
bool serve_preview(preview_server& server);

// Ends serve_preview at once: the event streams end and the connections close. Any thread.
void stop_preview(preview_server& server);

// The findings of orvello check that the open pages show: those printed under the build's line,
// and each page's own, by the page's place below site/ ("docs/guide.htm").
struct build_findings {
  std::vector<std::string> printed;
  std::map<std::string, std::vector<std::string>> by_page;
};

// Tells the open pages how the last build ended: they reload after a good one and list their own
// findings (a stream that names no page: the printed ones) in a dismissable panel, and show
// `problems` in an overlay after a failed one.
void announce_build(preview_server& server, bool succeeded,
                    const std::vector<std::string>& problems, build_findings findings);
