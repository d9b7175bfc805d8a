#include "serve_findings.h"

#include <iostream>
#include <optional>
#include <unordered_set>

#include "block_records.h"
#include "check.h"
#include "generator.h"
#include "page_report.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

// Forgets what is kept of `file`: its lines and the places it named.
void forget_file(kept_findings& kept, const std::string& file) {
  kept.lines.erase(file);
  const auto named = kept.named.find(file);
  if (named == kept.named.end()) {
    return;
  }
  for (const std::string& place : named->second) {
    const auto linkers = kept.linkers.find(place);
    if (linkers != kept.linkers.end() && linkers->second.erase(file) > 0 &&
        linkers->second.empty()) {
      kept.linkers.erase(linkers);
      kept.held.erase(place);
    }
  }
  kept.named.erase(named);
}

// Keeps what check found of `file` in place of what was known, and appends its lines to `found`.
void keep_file(kept_findings& kept, const fs::path& file, const file_findings& checked,
               std::vector<std::string>& found) {
  const std::string name = file.string();
  forget_file(kept, name);
  kept.project.walked.insert(name);
  std::vector<std::string> lines;
  for (const diagnostic& finding : checked.found) {
    lines.push_back(finding_line(file, finding));
  }
  found.insert(found.end(), lines.begin(), lines.end());
  if (!lines.empty()) {
    kept.lines[name] = std::move(lines);
  }
  for (const named_place& place : checked.named) {
    kept.named[name].push_back(place.place);
    kept.linkers[place.place].insert(name);
    kept.held[place.place] = place.held;
  }
}

// `path`, as the watcher reported it, as a place below proj/ ("." for proj/ itself), or nothing
// when it lies elsewhere.
std::optional<fs::path> place_below_input(const fs::path& path) {
  std::error_code error;
  const fs::path input = path.is_absolute() ? fs::weakly_canonical(run_input_folder, error)
                                            : fs::path(run_input_folder);
  const fs::path relative = path.lexically_normal().lexically_relative(input);
  if (relative.empty() || *relative.begin() == "..") {
    return std::nullopt;
  }
  return relative;
}

// Forgets every kept file at `file` or below it.
void forget_below(kept_findings& kept, const std::string& file) {
  const std::string prefix = file + "/";
  std::vector<std::string> gone{file};
  for (const auto* kept_by_file : {&kept.lines, &kept.named}) {
    for (auto at = kept_by_file->lower_bound(prefix);
         at != kept_by_file->end() && at->first.starts_with(prefix); ++at) {
      gone.push_back(at->first);
    }
  }
  for (const std::string& name : gone) {
    forget_file(kept, name);
  }
  std::erase_if(kept.project.walked,
                [&](const std::string& name) { return name == file || name.starts_with(prefix); });
}

// Whether the site holds the place `place` now, for each kept place at `place` or below it (all
// of them for "."); the files that name a place whose answer changed are due again.
void find_changed_places(kept_findings& kept, const std::string& place,
                         std::unordered_set<std::string>& due) {
  const auto look_again = [&](std::pair<const std::string, bool>& held) {
    const bool now = site_holds(held.first, kept.project);
    if (now != held.second) {
      held.second = now;
      const std::set<std::string>& linkers = kept.linkers[held.first];
      due.insert(linkers.begin(), linkers.end());
    }
  };
  if (place == ".") {
    for (auto& held : kept.held) {
      look_again(held);
    }
    return;
  }
  if (const auto exact = kept.held.find(place); exact != kept.held.end()) {
    look_again(*exact);
  }
  const std::string prefix = place + "/";
  for (auto at = kept.held.lower_bound(prefix);
       at != kept.held.end() && at->first.starts_with(prefix); ++at) {
    look_again(*at);
  }
}

// Notes what became of one reported path: a file that went is forgotten and one that came is
// listed; a file that is no page is checked now. True when the site's listing changed.
bool note_reported(kept_findings& kept, const fs::path& place, std::vector<std::string>& found) {
  const fs::path file = fs::path(run_input_folder) / place;
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (fs::is_regular_file(status)) {
    const bool came = kept.project.walked.insert(file.string()).second;
    if (!is_command_file(file.filename().native(), kept.project.extensions)) {
      std::unordered_set<std::string> pages_met;
      block_records records;  // no page: none is read
      keep_file(kept, file, check_input_file({file, place}, kept.project, pages_met, records),
                found);
    }
    return came;
  }
  if (fs::is_directory(status)) {
    return true;
  }
  forget_below(kept, file.string());
  return true;
}

}  // namespace

std::vector<std::string> find_everything(kept_findings& kept) {
  kept = kept_findings{};
  read_checked_project(kept.project);  // the build reports the settings' errors
  std::cerr << kept.project.walk_errors;
  std::vector<std::string> found;
  check_project(kept.project, [&](const fs::path& file, const file_findings& checked) {
    keep_file(kept, file, checked, found);
  });
  kept.project.files = {};  // the walk's order is needed only for this
  return found;
}

page_looks looks_for_rebuild(kept_findings& kept, const std::vector<fs::path>& changed,
                             std::vector<std::string>& found) {
  std::vector<fs::path> places;
  bool listing_changed = false;
  for (const fs::path& path : changed) {
    if (const std::optional<fs::path> place = place_below_input(path)) {
      places.push_back(*place);
      listing_changed = (*place != "." && note_reported(kept, *place, found)) || listing_changed;
    }
  }
  if (listing_changed) {
    kept.project = project_folder{};
    read_checked_project(kept.project);
    kept.project.files = {};
  }
  page_looks looks;
  for (const fs::path& place : places) {
    find_changed_places(kept, place.generic_string(), looks.due);
    if (is_command_file(place.filename().native(), kept.project.extensions)) {
      find_changed_places(
          kept, fs::path(place).replace_extension(kept.project.page_extension).generic_string(),
          looks.due);
    }
  }
  looks.look = [&kept, &found](const fs::path& file, const std::string& place,
                               const block_records& start) {
    std::unordered_set<std::string> pages_met;
    block_records records = start;
    keep_file(kept, file, check_input_file({file, place}, kept.project, pages_met, records), found);
  };
  return looks;
}

std::map<std::string, std::vector<std::string>> findings_by_page(const kept_findings& kept,
                                                                 const site_frame* frame) {
  std::map<std::string, std::vector<std::string>> pages;
  for (const auto& [file, lines] : kept.lines) {
    const fs::path place = fs::path(file).lexically_relative(run_input_folder);
    const std::string key = is_command_file(place.filename().native(), kept.project.extensions)
                                ? page_place_of(frame, place).generic_string()
                                : place.generic_string();
    std::vector<std::string>& page = pages[key];
    page.insert(page.end(), lines.begin(), lines.end());
  }
  return pages;
}
