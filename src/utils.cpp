#include "utils.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <system_error>
#include <type_traits>
#include <utility>

#include "block_routing.h"
#include "console_capture.h"
#include "external_reads.h"
#include "file_copy.h"
#include "framed_blocks.h"
#include "held_folder.h"
#include "html_buffer.h"
#include "input_walk.h"
#include "job_pool.h"
#include "ordered_console.h"
#include "page_context.h"
#include "page_files.h"
#include "page_frame.h"
#include "prose_settings.h"

namespace fs = std::filesystem;

std::string build_timestamp;

namespace {

std::string_view main_css_text();

// Assets handed to a copying thread at once: a folder at a time (up to this many), so that two
// threads seldom create files in one folder, where they would queue for it.
constexpr std::size_t assets_per_hand_over = 128;

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

namespace {

// Makes the folder `target` of site/, true when it was not there. The walk reaches a folder after
// its parent, so one mkdir makes it as a rule; only when that fails (a parent missing, something
// there already) does the library look and make the parents, at two more calls a folder.
bool make_site_folder(const fs::path& target) {
  return mkdir(target.c_str(), 0777) == 0 || fs::create_directories(target);
}

}  // namespace

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

bool replicate_directory_structure(const std::string& source, const std::string& destination,
                                   walk_listing* listing) {
  constexpr std::string_view error_prefix = "File system error: ";
  return run_walking_step(source, error_prefix, [&] {
    fs::create_directories(destination);
    const input_tree tree = open_input_tree(source);
    const auto visit = [&](const walked_entry& entry) {
      std::error_code error;
      if (!leads_to_folder(entry, error)) {
        return;
      }
      const fs::path target = fs::path(destination) / place_below(entry, tree);
      if (make_site_folder(target)) {
        std::cout << "Created: " << target.string() << "\n";
      }
    };
    return walk_input(tree, error_prefix, visit, {listing, nullptr});
  });
}

namespace {

// Whether `entry` is a regular file, links followed. A link that leads nowhere, or round in a
// loop, holds nothing to publish: it is passed over with a warning added to `reports`.
bool is_regular_file_or_warn(const walked_entry& entry, ordered_reports& reports) {
  std::error_code error;
  const bool regular = leads_to_file(entry, error);
  if (!error) {
    return regular;
  }
  add_report(reports,
             console_report{"Warning: Skipped the symbolic link " + std::string(entry.path) +
                                ", which cannot be followed: " + error.message() + "\n",
                            "", true});
  return false;
}

// Copies one asset; run by the copying threads, so it reports rather than prints.
console_report copy_asset(const std::string& from, const std::string& to,
                          const std::string& relative, mode_t creation_mask,
                          std::string_view error_prefix, held_folders* folders) {
  try {
    copy_regular_file(from, to, creation_mask, folders);
    std::string line;
    line.reserve(relative.size() + to.size() + 19);
    line.append("Copied asset: ").append(relative).append(" -> ").append(to) += '\n';
    return {"", std::move(line), true};
  } catch (const fs::filesystem_error& error) {
    return {std::string(error_prefix) + error.what() + "\n", "", false};
  }
}

}  // namespace

bool copy_non_command_files(const std::string& source, const std::string& destination,
                            const std::vector<std::string>& extensions,
                            const walk_listing* listing) {
  constexpr std::string_view error_prefix = "Error copying files: ";
  return run_walking_step(source, error_prefix, [&] {
    const input_tree tree = open_input_tree(source);
    const mode_t creation_mask = current_creation_mask();
    std::string known_folder;
    // The assets are copied on every core while the walk goes on; the lines come in walk order.
    job_pool copiers(helper_threads(usable_cores()));
    job_batch copying{copiers, assets_per_hand_over, {}};
    // Each copying thread (or this one, without them) holds two folders open.
    const bool hold_folders =
        2 * std::max<std::size_t>(copiers.threads.size(), 1) <= spare_descriptors();
    batch_folders folders;
    ordered_reports reports;
    reports.limit = 4 * assets_per_hand_over;
    reports.hand_over_gathered = [&copying] { hand_over(copying); };
    const auto visit = [&](const walked_entry& entry) {
      if (!is_regular_file_or_warn(entry, reports) || is_command_file(entry.name(), extensions)) {
        return;
      }
      std::string relative = place_below(entry, tree);
      std::string target = path_joined(destination, relative);
      const std::string_view folder = folder_of(target);
      if (folder != known_folder) {
        hand_over(copying);
      }
      create_folder(folder, known_folder);
      std::shared_ptr<held_folders> held =
          hold_folders ? folders_for_next(folders, copying) : nullptr;
      add_report(
          reports, add_job(copying, [from = std::string(entry.path), target = std::move(target),
                                     relative = std::move(relative), creation_mask, error_prefix,
                                     held = std::move(held)] {
            return copy_asset(from, target, relative, creation_mask, error_prefix, held.get());
          }));
    };
    walk_input_in_order(tree, error_prefix, reports, visit, [] {}, {nullptr, listing});
    hand_over(copying);
    print_all_reports(reports);
    return reports.all_ok;
  });
}

bool create_main_css(const std::string& folder, std::string_view text) {
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
    css << (text.empty() ? main_css_text() : text);
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

void write_page_head(html_buffer& html, const page_icon& icon, const std::string& prefix) {
  add(html,
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n"
      "  <meta charset=\"UTF-8\">\n"
      "  <title>Orvello Page</title>\n"
      "  <link rel=\"icon\" type=\"");
  add(html, icon.type);
  add(html, "\" href=\"");
  add(html, prefix);
  add(html, icon.name);
  add(html, "\">\n  <link rel=\"stylesheet\" href=\"");
  add(html, prefix);
  add(html, "main.css\">\n</head>\n<body>\n");
}

void write_page_foot(html_buffer& html) {
  add(html, "  <div class=\"fixed-footer\">@This site. All rights reserved. Made with Orvello on ");
  add(html, build_timestamp);
  add(html, "</div>\n</body>\n</html>\n");
}

// The lines of a command file read from a stream.
struct stream_lines {
  std::istream& source;
  std::string read;

  bool next(std::string_view& line) {
    if (!std::getline(source, read)) {
      return false;
    }
    line = read;
    return true;
  }
};

// Whether `line`, a command line that `route` takes, needs what the pages before left (other lines
// neither open nor close a block, so they never do): a closing line of a kind
// this page has not opened repeats the kind's last block, and a PDF block's number counts the
// earlier ones. Notes the kinds the page opens in `context`.
bool needs_start(std::string_view line, const block_route& route, const block_flags& flags,
                 page_context& context) {
  const std::uint32_t kind = 1U << (&route - block_routes);
  if (is_name(line, route.names.opening)) {
    context.opened_kinds |= kind;
    return false;
  }
  if (!is_name(line, route.names.closing)) {
    return false;
  }
  return route.names.opening == pdf_block.opening ||
         (!(flags.*route.in_block) && (context.opened_kinds & kind) == 0);
}

// Routes every line of `lines` to its block, but the lines of a framed page's @page block; with
// its start unknown, stops before a line that needs it and after a block that would read a file.
// Only a line with "@" at its front, and not "@@" (a setting), opens or closes a block, so every
// other line goes to the kind that route_of() found open after the last such line.
template <typename Lines>
void route_page_lines(Lines lines, std::ostream& page, page_context& context, bool framed) {
  block_flags flags;
  bool in_page = false;
  const block_route* open = nullptr;
  std::string_view line;
  while (lines.next(line)) {
    line = without_carriage_return(line);
    const bool command = line.starts_with('@');
    // Only a command line opens @page: any other line is its own unless @page is open.
    if (framed && (command || in_page) && takes_page_line(line, in_page, flags != block_flags{})) {
      continue;
    }
    const bool names_block = command && !line.starts_with("@@");
    const block_route* route = names_block ? route_of(line, flags, context) : open;
    if (route == nullptr) {
      continue;
    }
    if (names_block && context.start_unknown && needs_start(line, *route, flags, context)) {
      context.start_needed = true;
    }
    if (context.start_needed) {
      return;
    }
    if (!command && route->lines != nullptr) {
      // A line of a panel or listing, as its handler keeps it (without a second carriage return).
      add_line(context, *route->lines(context.records), without_carriage_return(line));
      continue;
    }
    route->handler(line, flags.*route->in_block, context, page);
    if (names_block) {
      open = open_route(flags, context);
    }
  }
}

// Writes the listing of a source file shown as a page.
void write_listing_page(std::istream& source, std::string_view command_file, page_context& context,
                        std::ostream& page) {
  write_source_listing(source, command_file, context, page);
}

void write_listing_page(text_lines source, std::string_view command_file, page_context& context,
                        std::ostream& page) {
  std::istringstream text{std::string(source.rest)};
  write_source_listing(text, command_file, context, page);
}

// The page compiler for either kind of source.
template <typename Source, typename Lines>
void compile_page_from(Source& source, Lines lines, std::ostream& page, page_context& context,
                       const std::string& prefix, const page_icon& icon,
                       const external_reads& reads, const page_frame* frame,
                       std::string_view command_file) {
  const external_reads_scope reading(page, reads);
  const framed_blocks_scope framing(page, frame != nullptr);
  html_buffer& html = context.html;
  html.used = 0;
  context.language_looked_up = false;
  frame != nullptr ? add(html, frame->head) : write_page_head(html, icon, prefix);
  if (frame != nullptr && is_source_page(context.prose, command_file)) {
    hand_over(html, page);  // before the listing's heading is written to the page directly
    write_listing_page(source, command_file, context, page);
    add(html, frame->foot);
  } else {
    context.lines_last_the_page = std::is_same_v<Lines, text_lines>;
    try {
      route_page_lines(lines, page, context, frame != nullptr);
    } catch (...) {
      keep_page_lines(context);
      hand_over(html, page);  // a page that an error ends keeps what its blocks wrote
      throw;
    }
    keep_page_lines(context);
    frame != nullptr ? add(html, frame->foot) : write_page_foot(html);
  }
  hand_over(html, page);
}

}  // namespace

page_icon page_icon_for(bool png) {
  return png ? page_icon{"favicon.png", "image/png"} : page_icon{};
}

page_icon page_icon_in(const std::string& output) {
  return page_icon_for(fs::exists(fs::path(output) / "favicon.png"));
}

void compile_page(std::istream& source, std::ostream& page, page_context& context,
                  const std::string& prefix, const page_icon& icon, const external_reads& reads,
                  const page_frame* frame, std::string_view command_file) {
  compile_page_from(source, stream_lines{source, {}}, page, context, prefix, icon, reads, frame,
                    command_file);
}

void compile_page(std::string_view source, std::ostream& page, page_context& context,
                  const std::string& prefix, const page_icon& icon, const external_reads& reads,
                  const page_frame* frame, std::string_view command_file) {
  text_lines text{source};
  compile_page_from(text, text, page, context, prefix, icon, reads, frame, command_file);
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

std::string depth_prefix(std::string_view relative) {
  std::string prefix;
  // Every part before the last '/' is a folder; empty parts and "." lead nowhere.
  for (std::size_t slash = relative.find('/'); slash != std::string_view::npos;
       slash = relative.find('/')) {
    const std::string_view part = relative.substr(0, slash);
    if (!part.empty() && part != ".") {
      prefix += "../";
    }
    relative.remove_prefix(slash + 1);
  }
  return prefix;
}

// --- The block protocol shared by the nine kinds ----------------------------------------------

bool apply_key(std::string_view line, std::span<const setting_key> keys, block_records& records) {
  for (const setting_key& key : keys) {
    if (!starts_with_name(line, key.prefix)) {
      continue;
    }
    const std::string_view value = line.substr(key.prefix.size());
    if (const auto* text = std::get_if<std::string* (*)(block_records&)>(&key.field)) {
      (*text)(records)->assign(value);
    } else {
      *std::get<bool* (*)(block_records&)>(key.field)(records) = value == "true";
    }
    return true;
  }
  return false;
}

const void* setting_field(const setting_key& key, block_records& records) {
  return std::visit([&](auto field) -> const void* { return field(records); }, key.field);
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

namespace {

bool dimension_has_unit(std::string_view value) {
  return value == "auto" || contains(value, "%") || contains(value, "px");
}

// Appends dimension_with_unit(`value`) with its double quotes escaped, without building it.
void add_dimension(html_buffer& html, std::string_view value) {
  add_quote_escaped(html, value);
  if (!dimension_has_unit(value)) {
    add(html, "px");
  }
}

}  // namespace

std::string dimension_with_unit(std::string_view value) {
  return with_px_unless(value, dimension_has_unit(value));
}

void add_size_style(html_buffer& html, std::string_view width, std::string_view height) {
  add(html, "width: ");
  add_dimension(html, width);
  add(html, "; height: ");
  add_dimension(html, height);
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
