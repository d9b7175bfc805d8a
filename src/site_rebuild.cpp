#include "site_rebuild.h"

#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "block_records.h"
#include "console_capture.h"
#include "external_reads.h"
#include "generator.h"
#include "highlight.h"
#include "page_context.h"
#include "page_frame.h"
#include "page_observer.h"
#include "page_pipeline.h"
#include "page_report.h"
#include "prose_settings.h"
#include "site_feeds.h"
#include "site_settings.h"
#include "source_tree.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

const std::string& input_folder = run_input_folder;
const std::string& output_folder = run_output_folder;
const std::vector<std::string> command_extensions = command_file_extensions();

// Every so many pages one keeps its start state whole; the state of any page is then rebuilt by
// compiling at most that many pages before it again, without writing them.
constexpr std::size_t snapshot_spacing = 32;

// The text of orvello.toml now; none when it is not there.
std::optional<std::string> settings_text_now() {
  if (!settings_file_present()) {
    return std::nullopt;
  }
  std::ifstream file{std::string(settings_file_name)};
  std::ostringstream text;
  text << file.rdbuf();
  return std::move(text).str();
}

// The frame that orvello.toml gives now, without the map: null without settings; `usable` is
// false when the settings cannot be used, so that only a full rebuild can say why.
std::shared_ptr<site_frame> settings_frame(const std::string& timestamp, bool& usable) {
  settings_reading reading = read_site_settings(input_folder);  // as a run reads it
  usable = reading.errors.empty();
  if (!reading.settings) {
    return nullptr;
  }
  return std::make_shared<site_frame>(
      site_frame{std::move(*reading.settings), {}, iso_date_of(timestamp)});
}

// The settings and map of a build about to start, remembered for the rebuilds after it.
void remember_settings(rebuild_state& state, const std::string& timestamp) {
  state.settings_text = settings_text_now();
  bool usable = true;
  std::shared_ptr<site_frame> frame = settings_frame(timestamp, usable);
  if (frame) {
    frame->map = read_site_map(input_folder, command_extensions, frame->settings.page_extension);
  }
  state.frame = frame;
}

std::string page_extension_of(const rebuild_state& state) {
  return state.frame ? state.frame->settings.page_extension : ".htm";
}

prose_settings prose_of(const rebuild_state& state) {
  return prose_settings_of(state.frame ? &state.frame->settings : nullptr);
}

// Follows a whole run: for each page its start and end state, the external files it read and the
// lines it printed on standard error (kept in `errors`).
struct run_recording {
  remembered_site& site;
  const text_sink& errors;
  std::unordered_map<std::string, std::unique_ptr<page_memory>> pages;  // by command file
  page_memory* open = nullptr;
  std::size_t open_errors_from = 0;
  std::size_t count = 0;
  std::optional<bool> png_icon;
};

void note_external_read(remembered_site& site, page_memory* page, const fs::path& file) {
  if (page == nullptr) {
    return;
  }
  const std::uint32_t input = external_input(site, file);
  site.externals[input].now = read_stamp(file);
  page->externals.push_back({input, site.externals[input].now});
}

void finish_recorded_page(run_recording& recording, bool written, const block_records& end) {
  if (recording.open == nullptr) {
    return;
  }
  recording.open->end_digest = records_digest(end);
  recording.open->written = written;
  recording.open->problems = lines_from(recording.errors.text, recording.open_errors_from);
  recording.open = nullptr;
}

page_observer recording_observer(run_recording& recording) {
  return {
      [&recording](const fs::path& file, const page_icon& icon, const block_records& start) {
        finish_recorded_page(recording, false, start);  // a page cut short by an error
        auto memory = std::make_unique<page_memory>();
        memory->start_digest = records_digest(start);
        if (recording.count++ % snapshot_spacing == 0) {
          memory->snapshot = std::make_unique<block_records>(start);
        }
        recording.open = memory.get();
        recording.open_errors_from = recording.errors.text.size();
        recording.pages[file.string()] = std::move(memory);
        recording.png_icon = recording.png_icon.value_or(icon.name == "favicon.png");
      },
      [&recording](bool written, const block_records& end) {
        finish_recorded_page(recording, written, end);
      },
      [&recording](const fs::path& file) {
        note_external_read(recording.site, recording.open, file);
      },
  };
}

bool has_png_icon(const folder_node& root) {
  return std::any_of(root.entries.begin(), root.entries.end(), [](const tree_entry& entry) {
    return entry.name == "favicon.png" &&
           (entry.kind == entry_kind::folder || entry.kind == entry_kind::asset);
  });
}

// Gives every command file of `node` what the run recorded for it, and clears the marks that
// reading the tree left.
void attach_pages(folder_node& node, const fs::path& folder, run_recording& recording) {
  for (tree_entry& entry : node.entries) {
    entry.dirty = false;
    const fs::path path = folder / entry.name;
    if (entry.folder) {
      attach_pages(*entry.folder, path, recording);
    } else if (entry.kind == entry_kind::command_file) {
      const auto found = recording.pages.find(path.string());
      if (found != recording.pages.end()) {
        entry.page = std::move(found->second);
      }
    }
  }
}

// Runs `run` (a whole run, from proj/ into some folder, handed the observer of its pages), and
// returns what rebuilds remember of it; null when proj/ could not be read beforehand.
template <typename Run>
std::shared_ptr<remembered_site> record_run(Run run, const text_sink& errors, int& status,
                                            std::size_t& pages, const std::string& page_extension,
                                            const prose_settings& prose) {
  auto site = std::make_shared<remembered_site>();
  site->page_extension = page_extension;
  site->prose = prose;
  try {
    refresh_folder(*site, site->root, input_folder, "", true);
  } catch (const fs::filesystem_error&) {
    site = nullptr;
  }
  remembered_site scratch;
  run_recording recording{site ? *site : scratch, errors, {}, nullptr, 0, 0, std::nullopt};
  page_observer observer = recording_observer(recording);
  status = run(&observer);
  finish_recorded_page(recording, false, block_records{});
  pages = recording.count;
  if (site) {
    attach_pages(site->root, input_folder, recording);
    site->png_icon = recording.png_icon.value_or(has_png_icon(site->root));
    site->removals.clear();
  }
  return site;
}

// --- Full rebuilds: a whole run beside site/, then moved in file by file ----------------------

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// A folder name inside site/ that no run writes there: no entry of proj/ has it.
std::string staging_name() {
  for (int attempt = 0;; ++attempt) {
    std::string name =
        ".orvello-staging-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(fs::path(input_folder) / name, error))) {
      return name;
    }
  }
}

// Moves every file of `from` to the same place below `to`, replacing what is there, and removes
// from `to` what `from` does not hold (but `keep`).
void move_into(const fs::path& from, const fs::path& to, const std::string& keep,
               rebuild_report& report) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
    const fs::path target = to / entry.path().filename();
    names.push_back(entry.path().filename().string());
    const bool target_is_folder = fs::is_directory(fs::symlink_status(target));
    if (entry.is_directory()) {
      if (!target_is_folder) {
        fs::remove(target);
        fs::create_directory(target);
      }
      move_into(entry.path(), target, "", report);
    } else {
      if (target_is_folder) {
        fs::remove_all(target);
      }
      fs::rename(entry.path(), target);
      ++report.files_copied;
    }
  }
  std::sort(names.begin(), names.end());
  for (const fs::directory_entry& entry : fs::directory_iterator(to)) {
    const std::string name = entry.path().filename().string();
    if (name != keep && !std::binary_search(names.begin(), names.end(), name)) {
      fs::remove_all(entry.path());
      ++report.files_removed;
    }
  }
}

void prepare_output_folder() {
  if (!fs::is_directory(output_folder)) {
    fs::remove(output_folder);
    fs::create_directories(output_folder);
  }
}

// Runs steps 2 to 5 of a run into `staging`, quietly, its pages followed by `observer`.
int run_steps_into(const std::string& staging, const std::string& timestamp,
                   const page_observer* observer) {
  std::optional<site_frame> site;
  if (!load_site_frame(input_folder, timestamp, site)) {
    return 1;
  }
  if (!fs::exists(input_folder)) {
    std::cerr << "Error: Source directory '" << input_folder << "' does not exist.\n";
    return 1;
  }
  site_frame* const framed = site ? &*site : nullptr;
  const bool built =
      replicate_directory_structure(input_folder, staging) &&
      copy_non_command_files(
          input_folder, staging,
          extensions_not_copied(prose_settings_of(framed ? &framed->settings : nullptr),
                                command_extensions)) &&
      write_main_css(staging, framed) &&
      compile_site(input_folder, staging, command_extensions, framed, observer);
  return built ? 0 : 1;
}

void rename_staging_in(std::vector<std::string>& lines, const std::string& staging) {
  for (std::string& line : lines) {
    replace_all(line, staging, output_folder);
  }
}

void rename_staging_in(folder_node& node, const std::string& staging) {
  for (tree_entry& entry : node.entries) {
    if (entry.folder) {
      rename_staging_in(*entry.folder, staging);
    } else if (entry.page) {
      rename_staging_in(entry.page->problems, staging);
    }
  }
}

void full_rebuild(rebuild_state& state, const std::string& timestamp, rebuild_report& report) {
  report = {};
  report.full = true;
  state.trusted = false;
  text_sink errors(nullptr, true);
  text_sink quiet(nullptr, false);
  const stream_redirect error_redirect(std::cerr, &errors);
  const stream_redirect output_redirect(std::cout, &quiet);
  const std::string staging = (fs::path(output_folder) / staging_name()).string();
  int status = 1;
  try {
    prepare_output_folder();
    build_timestamp = timestamp;
    remember_settings(state, timestamp);
    std::shared_ptr<remembered_site> site = record_run(
        [&](const page_observer* observer) { return run_steps_into(staging, timestamp, observer); },
        errors, status, report.pages_compiled, page_extension_of(state), prose_of(state));
    if (status == 0 && site) {
      move_into(staging, output_folder, fs::path(staging).filename().string(), report);
      rename_staging_in(site->root, staging);
      state.site = site;
      state.trusted = true;
    }
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << "\n";
    status = 1;
  }
  std::error_code ignored;
  fs::remove_all(staging, ignored);
  report.succeeded = status == 0;
  report.problems = lines_from(errors.text, 0);
  rename_staging_in(report.problems, staging);
}

}  // namespace

namespace {

// --- Incremental rebuilds ---------------------------------------------------------------------

// A page compiled again without writing it did not end as it did before: some file changed
// without its stamp showing it, and only a full rebuild can be trusted.
struct replay_mismatch {};

fs::path input_path(const std::string& relative) {
  return relative.empty() ? fs::path(input_folder) : fs::path(input_folder) / relative;
}

// `path` as a path below proj/, or nothing when it lies elsewhere.
std::optional<fs::path> below_input(const fs::path& path) {
  fs::path relative;
  if (path.is_absolute()) {
    std::error_code error;
    relative = path.lexically_normal().lexically_relative(fs::absolute(input_folder));
    if (relative.empty() || *relative.begin() == "..") {
      relative =
          path.lexically_normal().lexically_relative(fs::weakly_canonical(input_folder, error));
    }
  } else {
    relative = path.lexically_normal().lexically_relative(input_folder);
  }
  if (relative.empty() || *relative.begin() == "..") {
    return std::nullopt;
  }
  return relative;
}

// The folders to read again for the reported paths: each path's folder, and the path itself in
// case it is a folder; as paths below proj/, "" for proj/ itself.
std::vector<std::string> reported_folders(const std::vector<fs::path>& changed) {
  std::vector<std::string> folders;
  for (const fs::path& path : changed) {
    const std::optional<fs::path> relative = below_input(path);
    if (!relative) {
      continue;  // an external file: all of them are looked at anyway
    }
    if (*relative == ".") {
      folders.emplace_back();
      continue;
    }
    folders.push_back(relative->parent_path().generic_string());
    folders.push_back(relative->generic_string());
  }
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  return folders;
}

// The remembered folder at `relative`, or the deepest one on the way there; `found` is its path.
folder_node& find_folder(folder_node& root, const std::string& relative, std::string& found) {
  folder_node* node = &root;
  found.clear();
  for (const fs::path& part : fs::path(relative)) {
    const auto entry = std::find_if(
        node->entries.begin(), node->entries.end(),
        [&](const tree_entry& e) { return e.folder != nullptr && e.name == part.string(); });
    if (entry == node->entries.end()) {
      break;
    }
    node = entry->folder.get();
    found = joined(found, entry->name);
  }
  return *node;
}

void refresh_tree(rebuild_state& state) {
  remembered_site& site = *state.site;
  site.plans_conflict = false;
  if (!state.changed_known) {
    refresh_folder(site, site.root, input_folder, "", true);
    return;
  }
  std::vector<std::string> refreshed;
  for (const std::string& wanted : reported_folders(state.changed)) {
    std::string found;
    folder_node& node = find_folder(site.root, wanted, found);
    if (std::find(refreshed.begin(), refreshed.end(), found) == refreshed.end()) {
      refresh_folder(site, node, input_path(found), found, false);
      refreshed.push_back(found);
    }
  }
}

void remove_stale_outputs(remembered_site& site, rebuild_report& report) {
  for (const std::string& relative : site.removals) {
    std::error_code error;
    if (fs::remove_all(fs::path(output_folder) / relative, error) > 0) {
      ++report.files_removed;
    }
  }
  site.removals.clear();
}

// A name for a file written beside its place in the site folder of `node` before it is renamed
// into place: no run writes it, since no entry of the folder in proj/ has it and it is no page.
std::string temporary_name(const folder_node& node) {
  for (int attempt = 0;; ++attempt) {
    std::string name = ".orvello-rebuild-" + std::to_string(attempt) + ".tmp";
    if (std::none_of(node.entries.begin(), node.entries.end(),
                     [&](const tree_entry& entry) { return entry.name == name; })) {
      return name;
    }
  }
}

// Where a rebuild is in the walk: the state the next page starts from and how to get it back.
struct page_chain {
  remembered_site& site;
  rebuild_report& report;
  const text_sink& errors;
  std::uint64_t expected;  // the digest of the state the next page starts from
  bool live = false;       // the records of `context` hold that state
  bool all_pages = false;  // every page is due (the icon changed)
  // Otherwise the state is `base` (the defaults when null) after compiling the `replay` pages.
  const block_records* base = nullptr;
  block_records own_base{};
  std::vector<std::pair<tree_entry*, std::uint32_t>> replay{};  // page, index in folder_paths
  std::vector<std::string> folder_paths{};
  std::size_t since_snapshot = 0;
  page_memory* compiling = nullptr;
  external_reads reads{};  // how pages read their external files; the folder is set per page
  const site_frame* frame = nullptr;  // the settings and map the pages are framed with, if any
  page_context context{};             // what the pages compile with
  const page_looks* looks = nullptr;  // who looks at the pages reached, if anyone
};

// Lets `looks` see the page at `relative`, whose start state the chain's records hold.
void show_page(const page_chain& chain, const std::string& relative) {
  if (chain.looks != nullptr && chain.looks->look) {
    chain.looks->look(input_path(relative), relative, chain.context.records);
  }
}

// Whether the page at `relative` is due to be looked at though it is not compiled again.
bool due_for_look(const page_chain& chain, const std::string& relative) {
  return chain.looks != nullptr && !chain.looks->due.empty() &&
         chain.looks->due.contains(input_path(relative).string());
}

// Compiles a page as a run does, framed when there are settings.
void compile_framed(std::istream& source, std::ostream& page, const std::string& relative,
                    bool png_icon, page_chain& chain) {
  if (chain.frame == nullptr) {
    compile_page(source, page, chain.context, depth_prefix(relative), page_icon_for(png_icon),
                 chain.reads);
    return;
  }
  const page_frame framed = frame_page(*chain.frame, relative, page_icon_for(png_icon));
  compile_page(source, page, chain.context, depth_prefix(relative), page_icon_for(png_icon),
               chain.reads, &framed, relative);
}

void compile_unwritten(const std::string& relative, page_chain& chain) {
  const fs::path source_path = input_path(relative);
  std::ifstream source(source_path);
  chain.reads.folder = source_path.parent_path().string();
  text_sink discard(nullptr, false);
  std::ostream page(&discard);
  compile_framed(source, page, relative, chain.site.png_icon, chain);
}

void restore_state(page_chain& chain) {
  if (chain.live) {
    return;
  }
  block_records& records = chain.context.records;
  records = chain.base != nullptr ? *chain.base : block_records{};
  for (std::size_t i = 0; i < chain.replay.size(); ++i) {
    tree_entry& entry = *chain.replay[i].first;
    if (i % snapshot_spacing == snapshot_spacing - 1 && !entry.page->snapshot) {
      entry.page->snapshot = std::make_unique<block_records>(records);
    }
    compile_unwritten(joined(chain.folder_paths[chain.replay[i].second], entry.name), chain);
    if (records_digest(records) != entry.page->end_digest) {
      throw replay_mismatch{};
    }
  }
  chain.replay.clear();
  chain.live = true;
}

// Compiles a page without writing it (a later page replaces it), or writes it beside its place
// and renames it into place; how it ended.
page_outcome compile_to(const tree_entry& entry, std::istream& source, const fs::path& page_path,
                        const std::string& relative, const folder_node& node, page_chain& chain) {
  if (!entry.final_writer) {
    text_sink discard(nullptr, false);
    std::ostream page(&discard);
    compile_framed(source, page, relative, chain.site.png_icon, chain);
    return source.bad() ? page_outcome::not_read : page_outcome::compiled;
  }
  const fs::path temporary = page_path.parent_path() / temporary_name(node);
  static char page_buffer[64 * 1024];
  std::ofstream page;
  page.rdbuf()->pubsetbuf(page_buffer, sizeof page_buffer);
  page.open(temporary);
  if (!page.is_open()) {
    return page_outcome::not_created;
  }
  compile_framed(source, page, relative, chain.site.png_icon, chain);
  page.close();
  std::error_code error;
  const page_outcome outcome = source.bad()  ? page_outcome::not_read
                               : page.fail() ? page_outcome::not_written
                                             : page_outcome::compiled;
  if (outcome == page_outcome::compiled) {
    fs::rename(temporary, page_path, error);
  }
  if (outcome != page_outcome::compiled || error) {
    fs::remove(temporary, error);
    return outcome == page_outcome::compiled ? page_outcome::not_written : outcome;
  }
  return outcome;
}

// Compiles a page as a run does, with the same messages; false when it was not compiled whole.
bool write_page(const tree_entry& entry, const std::string& relative, const folder_node& node,
                page_chain& chain) {
  const fs::path source_path = input_path(relative);
  const fs::path page_path = fs::path(output_folder) / page_place_of(chain.frame, relative);
  std::ifstream source(source_path);
  page_outcome outcome = page_outcome::not_opened;
  if (source.is_open()) {
    chain.reads.folder = source_path.parent_path().string();
    if (entry.replaces) {
      std::cerr << page_replaced_warning(page_path.string(), source_path.string());
    }
    chain.context.language_looked_up = false;  // a page not created is not compiled
    outcome = compile_to(entry, source, page_path, relative, node, chain);
  }
  std::cerr << page_report(outcome, source_path.string(), relative, page_path.string()).err
            << highlight_failure_warning(source.is_open() && chain.context.language_looked_up);
  return outcome == page_outcome::compiled;
}

void compile_again(page_chain& chain, tree_entry& entry, std::uint32_t folder,
                   const folder_node& node) {
  const std::string relative = joined(chain.folder_paths[folder], entry.name);
  auto memory = std::make_unique<page_memory>();
  memory->start_digest = records_digest(chain.context.records);
  if ((entry.page && entry.page->snapshot) || chain.since_snapshot >= snapshot_spacing) {
    memory->snapshot = std::make_unique<block_records>(chain.context.records);
    chain.since_snapshot = 0;
  }
  entry.stamp = read_stamp(input_path(relative));
  show_page(chain, relative);
  const std::size_t errors_from = chain.errors.text.size();
  chain.compiling = memory.get();
  memory->written = write_page(entry, relative, node, chain);
  chain.compiling = nullptr;
  memory->end_digest = records_digest(chain.context.records);
  memory->problems = lines_from(chain.errors.text, errors_from);
  chain.report.succeeded = chain.report.succeeded && memory->written;
  ++chain.report.pages_compiled;
  entry.page = std::move(memory);
}

bool inputs_unchanged(const remembered_site& site, const page_memory& memory) {
  return std::all_of(memory.externals.begin(), memory.externals.end(),
                     [&](const external_seen& seen) {
                       return same_stamp(seen.stamp, site.externals[seen.input].now);
                     });
}

// Passes over a page whose inputs and start state are as before, or compiles it again.
void visit_page(page_chain& chain, tree_entry& entry, std::uint32_t folder,
                const folder_node& node) {
  page_memory* memory = entry.page.get();
  const bool unchanged = !chain.all_pages && !entry.dirty && memory != nullptr && memory->written &&
                         memory->start_digest == chain.expected &&
                         inputs_unchanged(chain.site, *memory);
  entry.dirty = false;
  if (unchanged && due_for_look(chain, joined(chain.folder_paths[folder], entry.name))) {
    restore_state(chain);
    show_page(chain, joined(chain.folder_paths[folder], entry.name));
  }
  if (unchanged) {
    if (chain.live) {
      chain.own_base = chain.context.records;
      chain.base = &chain.own_base;
      chain.live = false;
    }
    if (memory->snapshot) {
      chain.base = memory->snapshot.get();
      chain.replay.clear();
      chain.since_snapshot = 0;
    }
    chain.replay.emplace_back(&entry, folder);
    chain.expected = memory->end_digest;
  } else {
    restore_state(chain);
    compile_again(chain, entry, folder, node);
    chain.expected = entry.page->end_digest;
  }
  ++chain.since_snapshot;
  const std::vector<std::string>& problems = entry.page->problems;
  chain.report.problems.insert(chain.report.problems.end(), problems.begin(), problems.end());
}

void copy_asset(const std::string& relative, const folder_node& node, rebuild_report& report) {
  const fs::path target = fs::path(output_folder) / relative;
  const fs::path temporary = target.parent_path() / temporary_name(node);
  try {
    fs::copy_file(input_path(relative), temporary, fs::copy_options::overwrite_existing);
    fs::rename(temporary, target);
    ++report.files_copied;
  } catch (const fs::filesystem_error& error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    report.problems.push_back(std::string("Error copying files: ") + error.what());
    report.succeeded = false;
  }
}

// Walks the remembered tree in the order of a run: makes new folders, copies changed assets and
// passes every page to visit_page.
void visit_folder(page_chain& chain, folder_node& node, const std::string& relative) {
  const auto folder = static_cast<std::uint32_t>(chain.folder_paths.size());
  chain.folder_paths.push_back(relative);
  for (tree_entry& entry : node.entries) {
    if (entry.kind == entry_kind::folder) {
      const std::string path = joined(relative, entry.name);
      if (entry.dirty) {
        fs::create_directory(fs::path(output_folder) / path);
        entry.dirty = false;
      }
      visit_folder(chain, *entry.folder, path);
    } else if (entry.kind == entry_kind::command_file) {
      if (entry.dirty && is_source_page(chain.context.prose, entry.name)) {
        copy_asset(joined(relative, entry.name), node, chain.report);  // shown and offered
      }
      visit_page(chain, entry, folder, node);
    } else if (entry.dirty) {
      if (entry.kind == entry_kind::asset && entry.final_writer) {
        copy_asset(joined(relative, entry.name), node, chain.report);
      }
      entry.dirty = false;
    }
  }
}

// What the map `before` knows of the page of the command file at `place`, if anything.
const page_facts* known_facts(const site_map* before, const std::string& place) {
  if (before == nullptr) {
    return nullptr;
  }
  const site_page* page = page_at(*before, place);
  return page == nullptr ? nullptr : &page->facts;
}

// Gathers what every command file of `node` says of its page, in walk order: read again from the
// files that changed, taken from the map `before` for the others.
void gather_facts(const folder_node& node, const std::string& relative, const site_map* before,
                  std::vector<command_file_facts>& files) {
  for (const tree_entry& entry : node.entries) {
    const std::string path = joined(relative, entry.name);
    if (entry.folder) {
      gather_facts(*entry.folder, path, before, files);
    } else if (entry.kind == entry_kind::command_file) {
      const page_facts* known = entry.dirty ? nullptr : known_facts(before, path);
      if (known != nullptr) {
        files.push_back({path, *known});
      } else if (std::optional<page_facts> facts = read_command_file_facts(input_path(path))) {
        files.push_back({path, std::move(*facts)});
      }
    }
  }
}

// Whether a command file of `node` is new since the map `before` was made, or says something else
// of its page now; `files` counts the command files.
bool facts_changed(const folder_node& node, const std::string& relative, const site_map& before,
                   std::size_t& files) {
  bool changed = false;
  for (const tree_entry& entry : node.entries) {
    const std::string path = joined(relative, entry.name);
    if (entry.folder) {
      changed = facts_changed(*entry.folder, path, before, files) || changed;
    } else if (entry.kind == entry_kind::command_file) {
      ++files;
      const page_facts* known = known_facts(&before, path);
      changed = changed || known == nullptr ||
                (entry.dirty && read_command_file_facts(input_path(path)) != *known);
    }
  }
  return changed;
}

// The frame of the pages after the changes: the last one when neither the settings nor what the
// command files say of their pages changed, else `fresh` with a map made again (`remade`).
std::shared_ptr<const site_frame> frame_after_changes(const rebuild_state& state,
                                                      const std::shared_ptr<site_frame>& fresh,
                                                      bool& remade) {
  remade = false;
  if (!fresh) {
    return nullptr;
  }
  std::size_t files = 0;
  if (state.frame && !facts_changed(state.site->root, "", state.frame->map, files) &&
      files == state.frame->map.command_files) {
    return state.frame;
  }
  remade = true;
  std::vector<command_file_facts> gathered;
  gather_facts(state.site->root, "", state.frame ? &state.frame->map : nullptr, gathered);
  fresh->map = build_site_map(gathered, fresh->settings.page_extension);
  return fresh;
}

// Marks every page whose frame differs between the two maps, as when a title, an order or a page
// shown in its menu changed. Only the folders below one that shows differently are looked at
// (`changed_above`); the pages of the others keep their frames.
void mark_reframed_pages(folder_node& node, const std::string& relative, const site_frame& before,
                         const site_frame& now, const page_icon& icon, bool changed_above) {
  const bool changed = changed_above || folder_signature(before.map, relative) !=
                                            folder_signature(now.map, relative);
  for (tree_entry& entry : node.entries) {
    const std::string path = joined(relative, entry.name);
    if (entry.folder) {
      mark_reframed_pages(*entry.folder, path, before, now, icon, changed);
    } else if (changed && entry.kind == entry_kind::command_file && !entry.dirty) {
      const page_frame old_frame = frame_page(before, path, icon);
      const page_frame new_frame = frame_page(now, path, icon);
      entry.dirty = old_frame.head != new_frame.head || old_frame.foot != new_frame.foot;
    }
  }
}

// Writes a file of the site's top beside its place and renames it into place.
void replace_top_file(const std::string& name, const std::string& text, const folder_node& root) {
  const fs::path temporary = fs::path(output_folder) / temporary_name(root);
  std::ofstream file(temporary, std::ios::binary);
  file << text;
  file.close();
  if (file.fail()) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw fs::filesystem_error("cannot write", fs::path(output_folder) / name,
                               std::make_error_code(std::errc::io_error));
  }
  fs::rename(temporary, fs::path(output_folder) / name);
}

void replace_feeds(const site_frame& frame, const folder_node& root) {
  if (!frame.settings.base_url.empty()) {
    replace_top_file("sitemap.xml", sitemap_text(frame), root);
    replace_top_file("feed.xml", feed_text(frame), root);
  }
}

// False when only a full rebuild can be trusted.
bool rebuild_incrementally(rebuild_state& state, const std::string& timestamp,
                           const page_looks* looks, rebuild_report& report) {
  remembered_site& site = *state.site;
  text_sink errors(nullptr, true);
  const stream_redirect redirect(std::cerr, &errors);
  try {
    const std::optional<std::string> settings_text = settings_text_now();
    bool usable = true;
    if (settings_text != state.settings_text) {
      return false;
    }
    const std::shared_ptr<site_frame> fresh = settings_frame(timestamp, usable);
    if (!usable) {
      return false;
    }
    refresh_tree(state);
    if (site.has_links || site.plans_conflict) {
      return false;
    }
    bool remade = false;
    const std::shared_ptr<const site_frame> frame = frame_after_changes(state, fresh, remade);
    for (external_file& file : site.externals) {
      file.now = read_stamp(file.path);
    }
    page_chain chain{site, report, errors, records_digest(block_records{})};
    const bool png_icon = has_png_icon(site.root);
    chain.all_pages = png_icon != site.png_icon;
    site.png_icon = png_icon;
    chain.frame = frame.get();
    chain.context.prose = site.prose;
    chain.looks = looks;
    if (remade && state.frame && frame->map != state.frame->map) {
      mark_reframed_pages(site.root, "", *state.frame, *frame, page_icon_for(png_icon), false);
    }
    state.frame = frame;
    remove_stale_outputs(site, report);
    build_timestamp = timestamp;
    chain.reads.observe = [&](const fs::path& file) {
      note_external_read(site, chain.compiling, file);
    };
    visit_folder(chain, site.root, "");
    if (frame) {
      replace_feeds(*frame, site.root);
    }
  } catch (const replay_mismatch&) {
    return false;
  } catch (const fs::filesystem_error&) {
    return false;
  }
  state.trusted = report.succeeded;
  return true;
}

}  // namespace

int build_and_remember(rebuild_state& state, const std::string& timestamp) {
  // The run would switch the console streams to their own buffers at its start, undoing the
  // redirection below; switched first, it keeps them.
  std::ios::sync_with_stdio(false);
  text_sink errors(std::cerr.rdbuf(), true);
  const stream_redirect redirect(std::cerr, &errors);
  int status = 1;
  std::size_t pages = 0;
  remember_settings(state, timestamp);
  state.site =
      record_run([&](const page_observer* observer) { return run_generator(timestamp, observer); },
                 errors, status, pages, page_extension_of(state), prose_of(state));
  state.trusted = status == 0 && state.site != nullptr;
  return status;
}

rebuild_report rebuild_site(rebuild_state& state, bool trusted, const std::string& timestamp,
                            const page_looks* looks) {
  rebuild_report report;
  if (!trusted || !state.trusted || !state.site ||
      !rebuild_incrementally(state, timestamp, looks, report)) {
    full_rebuild(state, timestamp, report);
  }
  state.changed.clear();
  state.changed_known = false;
  return report;
}

std::vector<fs::path> external_inputs(const rebuild_state& state) {
  std::vector<fs::path> files{fs::path(settings_file_name)};
  if (!state.site) {
    return files;
  }
  for (const external_file& file : state.site->externals) {
    if (!below_input(file.path)) {
      files.push_back(file.path);
    }
  }
  return files;
}
