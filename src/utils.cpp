#include "utils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <system_error>

#include "block_routing.h"
#include "console_capture.h"
#include "file_copy.h"
#include "job_pool.h"
#include "ordered_console.h"
#include "page_files.h"
#include "page_observer.h"
#include "prose_settings.h"
#include "prose_style.h"

namespace fs = std::filesystem;

std::string build_timestamp;
std::string current_orv_dir;

namespace {

std::string_view main_css_text();

// The input folder as named and as resolved once for the whole walk.
struct input_tree {
  fs::path folder;
  fs::path resolved;
};

input_tree open_input_tree(const std::string& folder) {
  return {folder, fs::canonical(folder)};
}

// Where an entry of the walk belongs below the output folder. The walk never enters linked
// folders, so only the entry itself can be a link and only a link needs resolving. A link whose
// target lies outside the input folder keeps its own place, so nothing lands outside the output.
fs::path place_below(const fs::directory_entry& entry, const input_tree& tree) {
  // The walk forms every entry's path as the input folder, a separator and the rest.
  const std::string& folder = tree.folder.native();
  fs::path own = entry.path().native().substr(folder.size() + (folder.ends_with('/') ? 0 : 1));
  if (!entry.is_symlink()) {
    return own;
  }
  fs::path resolved = fs::weakly_canonical(entry.path()).lexically_relative(tree.resolved);
  if (resolved.empty() || *resolved.begin() == "..") {
    return own;
  }
  return resolved;
}

template <typename Visit, typename Report>
void walk_folder(const fs::path& folder, Visit& visit, Report& report) {
  std::error_code error;
  for (fs::directory_iterator entries(folder, error), end; !error && entries != end;
       entries.increment(error)) {
    const fs::directory_entry& entry = *entries;
    try {
      visit(entry);
    } catch (const fs::filesystem_error& failure) {
      report(failure);
    }
    std::error_code type_error;
    if (entry.is_directory(type_error) && !entry.is_symlink(type_error)) {
      walk_folder(entry.path(), visit, report);
    }
  }
  if (error) {
    report(fs::filesystem_error("cannot read folder", folder, error));
  }
}

// Walks the input folder in pre-order, entering folders as they come but never a link to a
// folder, and calls `visit` with every entry. A folder that cannot be read, or an entry whose
// visit fails with a file-system error, is reported after `error_prefix` and the walk goes on
// with everything else; the result is false if anything failed.
template <typename Visit>
bool walk_input(const input_tree& tree, std::string_view error_prefix, Visit visit) {
  bool complete = true;
  const auto report = [&](const fs::filesystem_error& error) {
    std::cerr << error_prefix << error.what() << "\n";
    complete = false;
  };
  walk_folder(tree.folder, visit, report);
  return complete;
}

// Like walk_input, but for a step whose work ends out of order: the walk's own errors join
// `reports` in walk order, after whatever `settle` adds for the entries before them.
template <typename Visit, typename Settle>
void walk_input_in_order(const input_tree& tree, std::string_view error_prefix,
                         ordered_reports& reports, Visit visit, Settle settle) {
  const auto report = [&](const fs::filesystem_error& error) {
    settle();
    add_report(reports, console_report{std::string(error_prefix) + error.what() + "\n", "", false});
  };
  walk_folder(tree.folder, visit, report);
}

// Jobs handed to a thread at once: fewer hand-overs and wake-ups, reports still in time. Assets
// go a folder at a time (up to this many), so that two threads seldom create files in one folder,
// where they would queue for it.
constexpr std::size_t assets_per_hand_over = 128;
constexpr std::size_t files_per_hand_over = 16;

// Threads for file-system work beside the main thread: none on a single core.
unsigned helper_threads(unsigned wanted) {
  return usable_cores() > 1 ? wanted : 0;
}

// Runs a step that walks the input folder `source`: a missing folder fails the step with its
// message, and so does a file-system error that ends `walk`, reported after `error_prefix`.
template <typename Walk>
bool run_walking_step(const std::string& source, std::string_view error_prefix, Walk walk) {
  try {
    if (!fs::exists(source)) {
      std::cerr << "Error: Source directory '" << source << "' does not exist.\n";
      return false;
    }
    return walk();
  } catch (const fs::filesystem_error& error) {
    std::cerr << error_prefix << error.what() << "\n";
    return false;
  }
}

// Creates `folder` with its missing ancestors unless it is `known`, the folder made sure of last:
// the files of one folder come one after another in the walk, so most files need no system call.
void create_folder(const fs::path& folder, fs::path& known) {
  if (folder.native() != known.native()) {
    fs::create_directories(folder);
    known = folder;
  }
}

bool contains(std::string_view value, std::string_view part) {
  return value.find(part) != std::string_view::npos;
}

std::string with_px_unless(std::string_view value, bool has_unit) {
  std::string written(value);
  if (!has_unit) {
    written += "px";
  }
  return written;
}

}  // namespace

// --- Site tree -------------------------------------------------------------------------------

bool delete_directory(const std::string& dir) {
  try {
    // A dangling link named like the folder is something to delete too.
    if (!fs::exists(fs::symlink_status(dir))) {
      std::cout << "Info: Directory '" << dir << "' does not exist. Nothing to delete.\n";
      return true;
    }
    fs::remove_all(dir);
    return true;
  } catch (const fs::filesystem_error& error) {
    std::cerr << "Error deleting directory: " << error.what() << "\n";
    return false;
  }
}

bool replicate_directory_structure(const std::string& source, const std::string& destination) {
  constexpr std::string_view error_prefix = "File system error: ";
  return run_walking_step(source, error_prefix, [&] {
    fs::create_directories(destination);
    const input_tree tree = open_input_tree(source);
    return walk_input(tree, error_prefix, [&](const fs::directory_entry& entry) {
      std::error_code error;
      if (!entry.is_directory(error)) {
        return;
      }
      const fs::path target = fs::path(destination) / place_below(entry, tree);
      if (fs::create_directories(target)) {
        std::cout << "Created: " << target.string() << "\n";
      }
    });
  });
}

namespace {

// Whether `entry` is a regular file, links followed. A link that leads nowhere, or round in a
// loop, holds nothing to publish: it is passed over with a warning added to `reports`.
bool is_regular_file_or_warn(const fs::directory_entry& entry, ordered_reports& reports) {
  std::error_code error;
  const bool regular = entry.is_regular_file(error);
  if (!error) {
    return regular;
  }
  std::error_code link_error;
  if (!entry.is_symlink(link_error)) {
    throw fs::filesystem_error("cannot read the type of a file", entry.path(), error);
  }
  add_report(reports, console_report{"Warning: Skipped the symbolic link " + entry.path().string() +
                                         ", which cannot be followed: " + error.message() + "\n",
                                     "", true});
  return false;
}

// Copies one asset; run by the copying threads, so it reports rather than prints.
console_report copy_asset(const fs::path& from, const fs::path& to, const fs::path& relative,
                          mode_t creation_mask, std::string_view error_prefix) {
  try {
    copy_regular_file(from, to, creation_mask);
    return {"", "Copied asset: " + relative.string() + " -> " + to.string() + "\n", true};
  } catch (const fs::filesystem_error& error) {
    return {std::string(error_prefix) + error.what() + "\n", "", false};
  }
}

}  // namespace

bool copy_non_command_files(const std::string& source, const std::string& destination,
                            const std::vector<std::string>& extensions) {
  constexpr std::string_view error_prefix = "Error copying files: ";
  return run_walking_step(source, error_prefix, [&] {
    const input_tree tree = open_input_tree(source);
    const mode_t creation_mask = current_creation_mask();
    fs::path known_folder;
    ordered_reports reports;
    reports.limit = 4 * assets_per_hand_over;  // above a batch: the oldest is always handed over
    // The assets are copied on every core while the walk goes on; the lines come in walk order.
    job_pool copiers(helper_threads(usable_cores()));
    job_batch copying{copiers, assets_per_hand_over, {}};
    const auto visit = [&](const fs::directory_entry& entry) {
      if (!is_regular_file_or_warn(entry, reports) ||
          is_command_file(entry.path().filename().native(), extensions)) {
        return;
      }
      const fs::path relative = place_below(entry, tree);
      fs::path target = fs::path(destination) / relative;
      if (target.parent_path().native() != known_folder.native()) {
        hand_over(copying);
      }
      create_folder(target.parent_path(), known_folder);
      add_report(reports, add_job(copying, [=, from = entry.path()] {
                   return copy_asset(from, target, relative, creation_mask, error_prefix);
                 }));
    };
    walk_input_in_order(tree, error_prefix, reports, visit, [] {});
    hand_over(copying);
    print_all_reports(reports);
    return reports.all_ok;
  });
}

bool create_main_css(const std::string& folder) {
  try {
    const fs::path path = fs::path(folder) / "main.css";
    if (!fs::exists(folder)) {
      fs::create_directories(folder);
    }
    std::ofstream css(path);
    if (!css.is_open()) {
      std::cerr << "Error: Could not create main.css at " << path.string() << "\n";
      return false;
    }
    css << main_css_text();
    if (run_prose_settings.enabled) {
      css << prose_stylesheet();  // until the stylesheet of sites with settings appends it
    }
    css.close();
    if (css.fail()) {
      std::cerr << "Error: Could not write main.css at " << path.string() << "\n";
      return false;
    }
    return true;
  } catch (const std::exception& error) {
    std::cerr << "Exception caught while creating main.css: " << error.what() << "\n";
    return false;
  }
}

// --- Page compiler ---------------------------------------------------------------------------

namespace {

page_icon find_page_icon(const std::string& output) {
  if (fs::exists(fs::path(output) / "favicon.png")) {
    return {"favicon.png", "image/png"};
  }
  return {};
}

void write_page_head(std::ostream& page, const page_icon& icon, const std::string& prefix) {
  page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n"
       << "  <meta charset=\"UTF-8\">\n"
       << "  <title>Orvello Page</title>\n"
       << "  <link rel=\"icon\" type=\"" << icon.type << "\" href=\"" << prefix << icon.name
       << "\">\n"
       << "  <link rel=\"stylesheet\" href=\"" << prefix << "main.css\">\n"
       << "</head>\n<body>\n";
}

void write_page_foot(std::ostream& page) {
  page << "  <div class=\"fixed-footer\">@This site. All rights reserved. Made with Orvello on "
       << build_timestamp << "</div>\n"
       << "</body>\n</html>\n";
}

}  // namespace

void compile_page(std::istream& source, std::ostream& page, const std::string& prefix,
                  const page_icon& icon, std::string_view command_file) {
  write_page_head(page, icon, prefix);
  if (is_source_page(run_prose_settings, command_file)) {
    write_source_listing(source, command_file, page);
  } else {
    block_flags flags;
    std::string line;
    while (std::getline(source, line)) {
      line.resize(without_carriage_return(line).size());
      route_line(line, flags, page);
    }
  }
  write_page_foot(page);
}

namespace {

// Within one run every file below the output folder was written by the run itself, so a file
// already at a page's place is an asset or an earlier page that this page now replaces.
void warn_if_replacing(const fs::path& page_path, const fs::path& command_file) {
  std::error_code error;
  if (fs::is_regular_file(fs::symlink_status(page_path, error))) {
    std::cerr << "Warning: " << page_path.string()
              << " was already written in this run and is replaced by the page compiled from "
              << command_file.string() << "\n";
  }
}

// A command file met by the walk, being read ahead of its compilation.
struct command_file_ahead {
  fs::path path;
  fs::path relative;
  fs::path page_path;
  job_future<command_source> source;
  bool read_at_turn = false;  // a link, which may lead to a page of this run: followed at its turn
};

// What the pages of one run share.
struct page_run {
  input_tree tree;
  std::string output;
  page_icon icon;
  fs::path known_folder;  // the folder of the last page, made sure of
  ordered_reports reports;
  std::deque<command_file_ahead> ahead;  // oldest first
  std::size_t read_ahead = 0;            // command files read before their turn, at most
  job_pool reader;
  job_pool writer;
  job_batch reading{reader, files_per_hand_over, {}};
  page_writer writing{writer, reports.limit};
  page_creation creation{};
  bool pages_withdrawn = false;  // no page has been created ahead since
};

constexpr std::string_view compile_error_prefix = "File system error during compilation: ";

// Opens the page of `command_file` at `page_path`; -1 when it cannot be.
int open_page(const fs::path& page_path, const fs::path& command_file, page_run& run) {
  int page = create_page_file(page_path, false);
  if (page < 0 && errno == EEXIST) {
    hand_over(run.writing.jobs);
    print_all_reports(run.reports);  // the pages before this one are whole, their lines out
    warn_if_replacing(page_path, command_file);
    page = create_page_file(page_path, true);
  }
  return page;
}

// Compiles one command file; its page is written by the writer, which reports on it through the
// future. `ended_by_error` tells a page that a file-system error cut short.
job_future<console_report> compile_command_file(command_file_ahead& file, page_run& run,
                                                bool& ended_by_error) {
  command_source source = file.source.get();
  if (!source.opened) {
    return finished_future<console_report>(
        {"Error: Could not open file " + file.path.string() + "\n", "", false});
  }
  current_orv_dir = file.path.parent_path().string();
  const fs::path& page_path = file.page_path;
  int page_file = source.page.release();
  if (page_file < 0) {
    create_folder(page_path.parent_path(), run.known_folder);
    page_file = open_page(page_path, file.path, run);
  }
  if (page_file < 0) {
    return finished_future<console_report>(
        {"Error: Could not create output HTM " + page_path.string() + "\n", "", false});
  }
  page_sink sink(run.writing, page_file);
  std::ostream page(&sink);
  std::string failure;              // a file-system error that ended the page
  text_sink errors(nullptr, true);  // what the blocks write to standard error, printed in turn
  bool read = true;
  {
    const stream_redirect capture(std::cerr, &errors);
    read = read_command_source(source, [&](std::istream& in) {
      try {
        compile_page(in, page, depth_prefix(file.relative), run.icon, file.path.native());
      } catch (const fs::filesystem_error& error) {
        failure = error.what();
      }
    });
  }
  ended_by_error = !failure.empty();
  return sink.finish([=, command_file = file.path, relative = file.relative,
                      errors = std::move(errors.text)](bool written) {
    console_report report{errors, "", false};
    if (!failure.empty()) {
      report.err += std::string(compile_error_prefix) + failure + "\n";
    } else if (!read) {
      report.err += "Error: Could not read file " + command_file.string() + "\n";
    } else if (!written) {
      report.err += "Error: Could not write output HTM " + page_path.string() + "\n";
    } else {
      report.out = "Compiled: " + relative.string() + " -> " + page_path.string() + "\n";
      report.ok = true;
    }
    return report;
  });
}

// Removes the page files created ahead of pages still to come, and creates none ahead from now
// on, so that a block reading an external file finds only what a one-thread run would have made.
void withdraw_pages_ahead(page_run& run) {
  if (run.pages_withdrawn) {
    return;
  }
  run.creation.ahead = false;
  run.pages_withdrawn = true;
  hand_over(run.reading);
  for (command_file_ahead& file : run.ahead) {
    command_source source = file.source.get();
    source.page = page_created_ahead();
    file.source = finished_future(std::move(source));
  }
}

// Follows a linked command file as the run has left the site so far, as the walk's visit would
// have: false when it leads to no regular file, or when placing it failed (reported in order).
bool follow_link_at_turn(command_file_ahead& file, page_run& run) {
  settle_before_external_read();
  std::error_code error;
  if (!fs::is_regular_file(file.path, error)) {
    return false;
  }
  try {
    file.relative = place_below(fs::directory_entry(file.path), run.tree);
  } catch (const fs::filesystem_error& failure) {
    add_report(
        run.reports,
        console_report{std::string(compile_error_prefix) + failure.what() + "\n", "", false});
    return false;
  }
  file.page_path = (fs::path(run.output) / file.relative).replace_extension(".htm");
  file.source = finished_future(open_command_source(file.path));
  return true;
}

// Compiles the oldest command file read ahead; a file-system error joins the reports in order.
// An observer learns of the page as it is compiled, so it waits for the page's report: a page
// that an error cut short never ends for the observer, as when the error ends the walk's visit.
void compile_oldest(page_run& run) {
  if (!run.ahead.front().source.ready()) {
    hand_over(run.reading);  // the oldest file may still be among those gathered
  }
  command_file_ahead file = std::move(run.ahead.front());
  run.ahead.pop_front();
  if (file.read_at_turn && !follow_link_at_turn(file, run)) {
    return;
  }
  observe_page_start(file.path, run.icon);
  bool ended_by_error = false;
  job_future<console_report> report;
  try {
    report = compile_command_file(file, run, ended_by_error);
  } catch (const fs::filesystem_error& error) {
    add_report(run.reports,
               console_report{std::string(compile_error_prefix) + error.what() + "\n", "", false});
    return;
  }
  if (active_page_observer == nullptr) {
    add_report(run.reports, std::move(report));
    return;
  }
  hand_over(run.writing.jobs);
  console_report done = report.get();
  const bool written = done.ok;
  add_report(run.reports, std::move(done));
  if (!ended_by_error) {
    observe_page_end(written);
  }
}

}  // namespace

bool process_command_files(const std::string& input, const std::string& output,
                           const std::vector<std::string>& extensions) {
  return run_walking_step(input, compile_error_prefix, [&] {
    // One reader opens command files and creates their pages ahead, and one writer writes the pages
    // behind the compiler, which compiles in walk order on this thread. How far ahead and behind
    // is bounded by the open files the run may spare, so that a low limit costs speed, not pages.
    const std::size_t spare = spare_descriptors();
    page_run run{open_input_tree(input),
                 output,
                 find_page_icon(output),
                 {},
                 ordered_reports{{}, std::min<std::size_t>(64, spare / 2), true},
                 {},
                 std::min<std::size_t>(helper_threads(64), spare / 4),
                 job_pool(helper_threads(1)),
                 job_pool(helper_threads(1))};
    const external_read_scope settle_pages([&run] {
      withdraw_pages_ahead(run);
      wait_for_page_writes(run.writing);
    });
    const auto compile_all_read = [&] {
      while (!run.ahead.empty()) {
        compile_oldest(run);
      }
    };
    const auto visit = [&](const fs::directory_entry& entry) {
      if (!is_command_file(entry.path().filename().native(), extensions)) {
        return;
      }
      std::error_code error;
      if (entry.is_symlink(error)) {
        run.ahead.push_back({entry.path(), {}, {}, finished_future(command_source{}), true});
      } else if (entry.is_regular_file(error)) {
        fs::path relative = place_below(entry, run.tree);
        fs::path page_path = (fs::path(run.output) / relative).replace_extension(".htm");
        auto read = [&creation = run.creation, path = entry.path(), page_path] {
          command_source source = open_command_source(path);
          create_page_ahead(source, page_path, creation);
          return source;
        };
        run.ahead.push_back({entry.path(), std::move(relative), std::move(page_path),
                             add_job(run.reading, std::move(read))});
      }
      while (run.ahead.size() > run.read_ahead) {
        compile_oldest(run);
      }
    };
    walk_input_in_order(run.tree, compile_error_prefix, run.reports, visit, compile_all_read);
    compile_all_read();
    hand_over(run.writing.jobs);
    print_all_reports(run.reports);
    return run.reports.all_ok;
  });
}

bool walk_input_files(
    const std::string& input, std::string_view error_prefix,
    const std::function<void(const fs::path& file, const fs::path& place)>& visit) {
  return run_walking_step(input, error_prefix, [&] {
    const input_tree tree = open_input_tree(input);
    return walk_input(tree, error_prefix, [&](const fs::directory_entry& entry) {
      std::error_code error;
      if (entry.is_regular_file(error)) {
        visit(entry.path(), place_below(entry, tree));
      }
    });
  });
}

std::string_view file_extension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    return {};
  }
  return name.substr(dot);
}

bool is_command_file(std::string_view name, const std::vector<std::string>& extensions) {
  const std::string_view extension = file_extension(name);
  for (const std::string& command_extension : extensions) {
    if (extension == command_extension) {
      return true;
    }
  }
  return false;
}

std::string depth_prefix(const fs::path& relative) {
  std::string prefix;
  for (const fs::path& part : relative.parent_path()) {
    if (!part.empty() && part != ".") {
      prefix += "../";
    }
  }
  return prefix;
}

// --- The block protocol shared by the nine kinds ----------------------------------------------

std::string_view without_carriage_return(std::string_view line) {
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  return line;
}

bool apply_setting(std::string_view line, std::initializer_list<setting_key> keys) {
  return apply_setting(line, std::span<const setting_key>(keys.begin(), keys.size()));
}

bool apply_setting(std::string_view line, std::span<const setting_key> keys) {
  if (!line.starts_with("@@")) {  // no key can match: most lines of a text or code block
    return false;
  }
  for (const setting_key& key : keys) {
    if (!line.starts_with(key.prefix)) {
      continue;
    }
    const std::string_view value = line.substr(key.prefix.size());
    if (std::string* const* text = std::get_if<std::string*>(&key.field)) {
      (*text)->assign(value);
    } else {
      *std::get<bool*>(key.field) = value == "true";
    }
    return true;
  }
  return false;
}

std::string html_escape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size() + text.size() / 10);
  append_html_escaped(escaped, text);
  return escaped;
}

void append_html_escaped(std::string& out, const std::string& text) {
  // strcspn finds the next byte that needs an entity many bytes at a time. It also stops at a NUL
  // byte, which a line may hold: that one is copied as it is.
  const char* const end = text.data() + text.size();
  const char* run = text.c_str();
  while (true) {
    const char* const stop = run + std::strcspn(run, "&<>");
    out.append(run, stop);
    if (stop == end) {
      return;
    }
    switch (*stop) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += '\0';
    }
    run = stop + 1;
  }
}

std::string escape_quotes(std::string_view value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (const char c : value) {
    if (c == '"') {
      escaped += "&quot;";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string dimension_with_unit(std::string_view value) {
  return with_px_unless(value, value == "auto" || contains(value, "%") || contains(value, "px"));
}

std::string text_size_with_unit(std::string_view value) {
  // Every "rem" holds "em".
  return with_px_unless(value, contains(value, "px") || contains(value, "em"));
}

std::string font_size_with_unit(std::string_view value) {
  return with_px_unless(value,
                        contains(value, "%") || contains(value, "px") || contains(value, "em"));
}

std::string javascript_string_escape(std::string_view value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (const char c : value) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '"':
        escaped += "\\\"";
        break;
      case '<':
        escaped += "\\x3C";
        break;
      case '\r':  // a line end would break the literal
        escaped += "\\r";
        break;
      case '\n':
        escaped += "\\n";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string media_attributes(bool autoplay, bool loop) {
  std::string attributes = "controls";
  if (autoplay) {
    attributes += " autoplay muted";
  }
  if (loop) {
    attributes += " loop";
  }
  return attributes;
}

namespace {

fs::path external_file_path(const std::string& src) {
  fs::path path(src);
  if (path.is_relative() && !current_orv_dir.empty()) {
    return fs::path(current_orv_dir) / path;
  }
  return path;
}

bool read_lines(const fs::path& path, std::vector<std::string>& lines) {
  // Opening a folder would yield nothing, a FIFO could block forever and a device never end.
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    return false;
  }
  std::ifstream file(path);
  if (!file.is_open()) {
    return false;
  }
  std::string line;
  while (std::getline(file, line)) {
    line.resize(without_carriage_return(line).size());
    lines.push_back(line);
  }
  return true;
}

}  // namespace

bool load_external_lines(const std::string& src, std::string_view kind,
                         std::vector<std::string>& lines) {
  lines.clear();
  const fs::path path = external_file_path(src);
  settle_before_external_read();  // the file may be a page of this run
  observe_external_read(path);
  if (read_lines(path, lines)) {
    return true;
  }
  std::cerr << "Error: Could not open external " << kind << " file '" << path.string() << "'\n";
  return false;
}

namespace {

// The site's one stylesheet. Every page links it; the footer and the block kinds carry the class
// names its rules select.
std::string_view main_css_text() {
  static constexpr std::string_view css = R"css(/* Generated by Orvello */

body {
  font-family: system-ui, -apple-system, BlinkMacSystemFont, "Segoe UI", Roboto, Helvetica, Arial, sans-serif;
  font-size: 1rem;
  line-height: 1.6;
  color: #d4d4d4;
  background-color: #1e1e1e;
  margin-top: 1.5rem;
  margin-left: 1.5rem;
  margin-right: 1.5rem;
  margin-bottom: 3rem;
}

.fixed-footer {
  font-family: system-ui, -apple-system, BlinkMacSystemFont, "Segoe UI", Roboto, Helvetica, Arial, sans-serif;
  font-size: 1.5rem;
  position: fixed;
  bottom: 0;
  left: 0;
  width: 100%;
  height: 40px;
  font-weight: bold;
  color: #000000;
  background-color: #2DCA45;
  z-index: 1000;
  display: flex;
  align-items: center;
  justify-content: safe center;
  white-space: nowrap;
  padding: 0 10px;
  box-sizing: border-box;
  overflow-x: auto;
  scrollbar-width: thin;
  scrollbar-color: #1a8a2d #2DCA45;
}

.fixed-footer::-webkit-scrollbar {
  height: 4px;
}
.fixed-footer::-webkit-scrollbar-track {
  background: #2DCA45;
}
.fixed-footer::-webkit-scrollbar-thumb {
  background: #1a8a2d;
  border-radius: 2px;
}

.title {
  display: block;
  line-height: 1.2;
  margin-top: 0.5rem;
  margin-bottom: 0.5rem;
  color: #d8e2dc;
  background-color: #252526;
  border-radius: 6px;
  border: 1px solid #333333;
  width: 100%;
  box-sizing: border-box;
  padding-top: 1rem;
  padding-bottom: 1rem;
  padding-left: 0.5rem;
  padding-right: 0.5rem;
}

.text {
  display: block;
  font-family: monospace;
  line-height: 1.6;
  background-color: #252526;
  margin-top: 1rem;
  margin-bottom: 1rem;
  border-radius: 6px;
  border: 1px solid #333333;
  overflow: auto;
  white-space: normal;
  box-sizing: border-box;
  padding-top: 1rem;
  padding-bottom: 1rem;
}

.text table {
  border-collapse: collapse;
  width: 100%;
  margin: 0;
  padding: 10px 0;
}
.text-line-content {
  padding: 0px 16px;
}

.link {
  display: table;
  margin-top: 6px;
  margin-bottom: 6px;
  line-height: 1.2;
  text-decoration: none;
  font-weight: bold;
  color: #0077b6;
  transition: color 0.2s ease-in-out;
}

.link:hover {
  color: #00b4d8;
}

.image {
  display: block;
  max-width: 100%;
  height: auto;
  margin-top: 1rem;
  margin-bottom: 1rem;
  border-radius: 6px;
}

.video {
  display: block;
  max-width: 100%;
  margin-top: 1rem;
  margin-bottom: 1rem;
  border-radius: 6px;
}

.audio {
  display: block;
  width: 100%;
  max-width: 400px;
  margin-top: 1rem;
  margin-bottom: 1rem;
}

.pdf {
  display: block;
  max-width: 100%;
  border: 1px solid #333333;
  border-radius: 6px;
  margin-top: 1rem;
  margin-bottom: 1rem;
}

.download-btn {
  display: table;
  margin-top: 10px;
  margin-bottom: 10px;
  padding: 10px 20px;
  background-color: #0077b6;
  color: #ffffff;
  text-decoration: none;
  font-weight: bold;
  border-radius: 4px;
  transition: background-color 0.2s ease-in-out;
}

.download-btn:hover {
  background-color: #00b4d8;
}

.code {
  display: block;
  font-family: monospace;
  font-size: 1rem;
  line-height: 1.3;
  background-color: #0d1117;
  color: #c9d1d9;
  margin-top: 1rem;
  margin-bottom: 1rem;
  border-radius: 6px;
  border: 1px solid #30363d;
  overflow: auto;
  white-space: pre;
  padding-top: 20px;
  padding-bottom: 20px;
}

.code table {
  border-collapse: collapse;
  width: 100%;
  margin: 0;
  padding: 10px 0;
}
.code-line-number {
  text-align: right;
  padding: 0px 12px;
  color: #8b949e;
  user-select: none;
  width: 1%;
  white-space: nowrap;
  border-right: 1px solid #30363d;
}
.code-line-content {
  padding: 0px 12px;
}

)css";
  return css;
}

}  // namespace
