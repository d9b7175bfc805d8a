// Rebuilds of a site that is being served: after the first build, only what a change reaches is
// compiled, copied or removed again, and site/ always ends as a fresh full run would leave it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "block_records.h"

struct remembered_site;
struct site_frame;

// What the rebuilds remember of the last build: for each page, in walk order, what it read and the
// state it started from. Empty until the first build.
struct rebuild_state {
  bool trusted = false;  // false until a build completed; a rebuild then starts over in full
  // The paths the watcher reported since the last rebuild, as it names them (below proj/ or
  // external files); when `changed_known` is set, only these are looked at, else everything is.
  std::vector<std::filesystem::path> changed;
  bool changed_known = false;
  std::shared_ptr<remembered_site> site;  // the folders, files and pages of the last build
  // The text of orvello.toml at the last build (none when it was absent), and the settings and
  // map of the site that the pages were framed with (null without settings).
  std::optional<std::string> settings_text;
  std::shared_ptr<const site_frame> frame;
};

// What one rebuild did, for the console line and the open pages.
struct rebuild_report {
  bool succeeded = true;
  bool full = false;  // everything was rebuilt, because the remembered state could not be trusted
  std::size_t pages_compiled = 0;
  std::size_t files_copied = 0;
  std::size_t files_removed = 0;
  std::vector<std::string> problems;  // error and warning lines, as a run prints them
};

// Who looks at the pages that a rebuild reaches, for their findings: `look` is called in walk
// order with each command file compiled again and each one named in `due` (as the walk names
// them, "proj/about.orv"), with its place below proj/ ("about.orv") and the records the page
// starts from.
struct page_looks {
  std::unordered_set<std::string> due;
  std::function<void(const std::filesystem::path& file, const std::string& place,
                     const block_records& start)>
      look;
};

// The first build of a preview: the five-step run with its console lines, exactly as `orvello`
// alone runs it, remembering what the pages read. Returns the run's exit status.
int build_and_remember(rebuild_state& state, const std::string& timestamp);

// Brings site/ up to date with proj/ and the external files the pages read, replacing files one
// by one (written beside and renamed into place) so that a reader of site/ never finds a file
// missing or half written. With `trusted` false (events were lost) it rebuilds everything.
// Prints nothing (standard error is taken over while it runs, so no other thread may write to
// it then); the report says what happened.
// A full rebuild calls no `looks`.
rebuild_report rebuild_site(rebuild_state& state, bool trusted, const std::string& timestamp,
                            const page_looks* looks = nullptr);

// The files outside proj/ that text and code blocks read, and orvello.toml, which must be
// watched too.
std::vector<std::filesystem::path> external_inputs(const rebuild_state& state);
