// What a site's settings turn on for prose and listings: the Markdown block, coloured listings and
// source files shown as pages. All of it is off without orvello.toml, and a run then writes
// every byte as before.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "site_settings.h"

// The prose and listing settings of a run.
struct prose_settings {
  bool enabled = false;   // the site has settings: @markdown, @@language, source pages
  bool raw_html = false;  // raw HTML in Markdown passes through instead of being shown as text
};

// The prose settings of a run under `settings` (null for a run without orvello.toml).
prose_settings prose_settings_of(const site_settings* settings);

// True when, under `settings`, the command file `name` is a source file (.c, .cpp) that becomes
// a page showing its own listing, and is copied beside it as well.
bool is_source_page(const prose_settings& settings, std::string_view name);

// The command-file extensions whose files a run does not copy: all of them without settings, and
// with settings all but the source files', which are copied beside their pages.
std::vector<std::string> extensions_not_copied(const prose_settings& settings,
                                               const std::vector<std::string>& command_extensions);
