#include "checker.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "block_records.h"
#include "block_routing.h"
#include "console_capture.h"
#include "external_reads.h"
#include "generator.h"
#include "highlight.h"
#include "input_walk.h"
#include "markdown.h"
#include "near_names.h"
#include "page_context.h"
#include "page_facts.h"
#include "page_files.h"
#include "percent_escapes.h"
#include "prose_settings.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kind_count = std::size(block_routes);

// Where a finding points: a line and a byte column, both from 1.
struct location {
  std::size_t line = 1;
  std::size_t column = 1;
};

std::string did_you_mean(std::string_view prefix, std::string_view near) {
  return near.empty() ? "" : "; did you mean " + std::string(prefix) + std::string(near) + "?";
}

// Every opening and closing line of the language.
const std::vector<std::string_view>& opening_and_closing_lines() {
  static const std::vector<std::string_view> lines = [] {
    std::vector<std::string_view> all;
    for (const block_route& route : block_routes) {
      all.push_back(route.names.opening);
      all.push_back(route.names.closing);
    }
    return all;
  }();
  return lines;
}

bool is_block_line(std::string_view line) {
  const std::vector<std::string_view>& lines = opening_and_closing_lines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A key without its "@@" and its blank: "src" for "@@src ".
std::string_view key_name(const setting_key& key) {
  return key.prefix.substr(2, key.prefix.size() - 3);
}

std::vector<std::string_view> key_names(const block_route& route, const prose_settings& prose) {
  std::vector<std::string_view> names;
  for (const setting_key& key : route.settings(prose)) {
    names.push_back(key_name(key));
  }
  return names;
}

// The key a line starting with "@@" names: up to the first blank or tab.
std::string_view typed_key(std::string_view line) {
  const std::string_view rest = line.substr(2);
  return rest.substr(0, rest.find_first_of(" \t"));
}

// The place of the kind opened by `opening` in the routing order.
constexpr std::size_t kind_opened_by(std::string_view opening) {
  std::size_t kind = 0;
  while (block_routes[kind].names.opening != opening) {
    ++kind;
  }
  return kind;
}

// Told apart by their place in the routing table, which every route given here lies in.
bool is_kind(const block_route& route, std::size_t kind) {
  return &route == &block_routes[kind];
}

constexpr std::size_t text_kind = kind_opened_by(text_block.opening);
constexpr std::size_t code_kind = kind_opened_by(code_block.opening);
constexpr std::size_t markdown_kind = kind_opened_by(markdown_block.opening);

bool is_code(const block_route& route) {
  return is_kind(route, code_kind);
}

bool is_markdown(const block_route& route) {
  return is_kind(route, markdown_kind);
}

// Text and code blocks keep the lines that are no settings of theirs as their content.
bool collects_lines(const block_route& route) {
  return is_code(route) || is_kind(route, text_kind);
}

std::string_view content_name(const block_route& route) {
  return is_code(route) ? "a line of the listing" : "a line of the panel";
}

bool ends_in_blank(std::string_view value) {
  return !value.empty() && (value.back() == ' ' || value.back() == '\t');
}

std::string_view trimmed(std::string_view value) {
  const std::size_t first = value.find_first_not_of(" \t\r\n\f");
  if (first == std::string_view::npos) {
    return {};
  }
  return value.substr(first, value.find_last_not_of(" \t\r\n\f") - first + 1);
}

std::string in_quotes(std::string_view text) {
  std::string quoted_text(1, '"');
  quoted_text.append(text).push_back('"');
  return quoted_text;
}

// The name of the file at `file`, as filename() gives it, without building a path.
std::string_view name_of(const fs::path& file) {
  const std::string_view path = file.native();
  return path.substr(path.rfind('/') + 1);  // npos + 1 is 0
}

// The folder of the file at `file`, as parent_path() gives it, without building a path when it
// has the common form "folder/name".
std::string folder_of(const fs::path& file) {
  const std::string& path = file.native();
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0 || path[slash - 1] == '/') {
    return file.parent_path().native();
  }
  return path.substr(0, slash);
}

}  // namespace

// --- What a closing line writes --------------------------------------------------------------

namespace {

// What a field of a settings record becomes in the page.
enum class value_use { source, pdf_source, link, dimension, text_size, font_size, link_size };

struct checked_field {
  std::string* (*value)(block_records&) = nullptr;  // the field, in whichever records are read
  value_use use = value_use::source;
};

// The fields of each kind whose written form can go wrong without a word.
struct kind_fields {
  block_names names;
  std::array<checked_field, 3> fields;
};

const kind_fields checked_fields[] = {
    {title_block,
     {{{&record_field<&block_records::title, &title_template_config::size>,
        value_use::font_size}}}},
    {text_block,
     {{{&record_field<&block_records::text, &text_template_config::width>, value_use::dimension},
       {&record_field<&block_records::text, &text_template_config::height>, value_use::dimension},
       {&record_field<&block_records::text, &text_template_config::size>, value_use::text_size}}}},
    {link_block,
     {{{&record_field<&block_records::link, &link_template_config::url>, value_use::link},
       {&record_field<&block_records::link, &link_template_config::size>, value_use::link_size}}}},
    {image_block,
     {{{&record_field<&block_records::image, &image_template_config::src>, value_use::source},
       {&record_field<&block_records::image, &image_template_config::width>, value_use::dimension},
       {&record_field<&block_records::image, &image_template_config::height>,
        value_use::dimension}}}},
    {video_block,
     {{{&record_field<&block_records::video, &video_template_config::src>, value_use::source},
       {&record_field<&block_records::video, &video_template_config::width>, value_use::dimension},
       {&record_field<&block_records::video, &video_template_config::height>,
        value_use::dimension}}}},
    {audio_block,
     {{{&record_field<&block_records::audio, &audio_template_config::src>, value_use::source}}}},
    {pdf_block,
     {{{&record_field<&block_records::pdf, &pdf_template_config::src>, value_use::pdf_source},
       {&record_field<&block_records::pdf, &pdf_template_config::width>, value_use::dimension},
       {&record_field<&block_records::pdf, &pdf_template_config::height>, value_use::dimension}}}},
    {download_block,
     {{{&record_field<&block_records::download, &download_template_config::url>,
        value_use::link}}}},
    {code_block,
     {{{&record_field<&block_records::code, &code_template_config::width>, value_use::dimension},
       {&record_field<&block_records::code, &code_template_config::height>,
        value_use::dimension}}}},
    {markdown_block, {}},  // its links and pictures are looked at by check_markdown_block
};

const kind_fields& fields_of(const block_route& route) {
  for (const kind_fields& kind : checked_fields) {
    if (kind.names.opening == route.names.opening) {
      return kind;
    }
  }
  return checked_fields[0];  // every kind has its row
}

std::string written_length(std::string_view value, value_use use) {
  switch (use) {
    case value_use::dimension:
      return dimension_with_unit(value);
    case value_use::text_size:
      return text_size_with_unit(value);
    default:
      return font_size_with_unit(value);
  }
}

bool is_css_unit(std::string_view unit) {
  static constexpr std::string_view units[] = {"px",   "em",  "rem", "%",   "vw",  "vh",  "vmin",
                                               "vmax", "ch",  "ex",  "cm",  "mm",  "in",  "pt",
                                               "pc",   "q",   "lh",  "rlh", "vi",  "vb",  "cap",
                                               "ic",   "svh", "lvh", "dvh", "svw", "lvw", "dvw"};
  return std::any_of(std::begin(units), std::end(units), [unit](std::string_view known) {
    return std::equal(known.begin(), known.end(), unit.begin(), unit.end(), [](char k, char u) {
      return k == std::tolower(static_cast<unsigned char>(u));
    });
  });
}

// The length at the front of `value`: its number (empty when there is none) and its unit.
std::pair<std::string_view, std::string_view> number_and_unit(std::string_view value) {
  std::size_t end = value.starts_with('-') || value.starts_with('+') ? 1 : 0;
  bool digits = false;
  while (end < value.size() &&
         (std::isdigit(static_cast<unsigned char>(value[end])) || value[end] == '.')) {
    digits = digits || value[end] != '.';
    ++end;
  }
  return digits ? std::pair(value.substr(0, end), value.substr(end))
                : std::pair(std::string_view(), value);
}

// Whether browsers take `written` as a width, height or font size.
bool is_css_length(std::string_view written) {
  static constexpr std::string_view keywords[] = {
      "auto",        "inherit",     "initial",  "unset",     "revert",  "min-content",
      "max-content", "fit-content", "xx-small", "x-small",   "small",   "medium",
      "large",       "x-large",     "xx-large", "xxx-large", "smaller", "larger"};
  const auto [number, unit] = number_and_unit(written);
  if (!number.empty() && is_css_unit(unit)) {
    return true;  // the most common form, tried first
  }
  if (std::find(std::begin(keywords), std::end(keywords), written) != std::end(keywords)) {
    return true;
  }
  for (const std::string_view function : {"calc(", "min(", "max(", "clamp(", "var("}) {
    if (written.starts_with(function) && written.ends_with(')')) {
      return true;
    }
  }
  return false;
}

std::string scaled(std::string_view number, double factor, std::string_view unit) {
  char text[32];
  std::snprintf(text, sizeof text, "%g",
                std::strtod(std::string(number).c_str(), nullptr) * factor);
  return text + std::string(unit);
}

// A value that the kind's unit rule writes as the length that `value` meant.
std::string working_length(std::string_view value, value_use use) {
  const auto [number, unit] = number_and_unit(value);
  if (value.empty()) {
    return use == value_use::dimension ? "\"auto\"" : "\"16\"";
  }
  if (!number.empty() && use == value_use::dimension && (unit == "em" || unit == "rem")) {
    return in_quotes(scaled(number, 16, "px")) + " (at 16px to the em)";
  }
  if (!number.empty() && use == value_use::text_size && unit == "%") {
    return in_quotes(scaled(number, 0.01, "em"));
  }
  if (use == value_use::dimension) {
    return "a number of pixels such as \"300\", or a percentage such as \"50%\"";
  }
  return "a number of pixels such as \"16\", or a size such as \"1.2em\"";
}

}  // namespace

// --- Addresses -------------------------------------------------------------------------------

namespace {

// Whether the walk of a run reaches `relative` below the input folder: it never enters a linked
// folder.
bool reached_by_walk(const fs::path& input, const fs::path& relative) {
  fs::path folder = input;
  for (const fs::path& part : relative.parent_path()) {
    folder /= part;
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error))) {
      return false;
    }
  }
  return true;
}

// Whether a run places the file at `path` at its own place: as for every link that the run
// copies or compiles, a link to a file inside the input folder lands at its target's place.
bool placed_at_own_place(const fs::path& path, const project_folder& project) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path, error))) {
    return true;
  }
  const fs::path target = fs::weakly_canonical(path, error).lexically_relative(project.resolved);
  return error || target.empty() || *target.begin() == "..";
}

// What a run leaves at `relative` below the output folder, from what the input folder holds
// there: a folder, a copied file, or nothing (a command file is not copied).
enum class site_entry { nothing, folder, file, command_file };

site_entry site_entry_from(const fs::path& relative, const project_folder& project) {
  if (!reached_by_walk(project.input, relative)) {
    return site_entry::nothing;
  }
  const fs::path path = project.input / relative;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (fs::is_directory(status)) {
    return site_entry::folder;
  }
  if (!fs::is_regular_file(status) || !placed_at_own_place(path, project)) {
    return site_entry::nothing;
  }
  return is_command_file(relative.filename().native(), project.extensions)
             ? site_entry::command_file
             : site_entry::file;
}

}  // namespace

bool site_holds(const fs::path& relative, const project_folder& project) {
  if (project.held.contains(relative.generic_string())) {
    return true;
  }
  const site_entry entry = site_entry_from(relative, project);
  if (entry == site_entry::folder || entry == site_entry::file || relative == "main.css") {
    return true;
  }
  if (entry == site_entry::command_file &&
      is_source_page(project.prose, relative.filename().native())) {
    return true;  // a source file is copied beside its page
  }
  if (relative.extension() != project.page_extension) {
    return false;
  }
  for (const std::string& extension : project.extensions) {
    if (site_entry_from(fs::path(relative).replace_extension(extension), project) ==
        site_entry::command_file) {
      return true;
    }
  }
  return false;
}

namespace {

// Whether an address leaves the site's own files: a scheme ("https:", "data:", "mailto:"), a
// host ("//"), the top of the server ("/") or a place in the page ("#").
bool is_outside_check(std::string_view address) {
  if (address.empty() || address.starts_with('/') || address.starts_with('#') ||
      address.starts_with('?')) {
    return true;
  }
  const std::size_t colon = address.find(':');
  return colon != std::string_view::npos && address.find_first_of("/?#") > colon &&
         std::isalpha(static_cast<unsigned char>(address[0]));
}

// The first "&name;" or "&#number;" in `address`, or empty.
std::string_view character_reference(std::string_view address) {
  for (std::size_t amp = address.find('&'); amp != std::string_view::npos;
       amp = address.find('&', amp + 1)) {
    std::size_t end = amp + 1;
    while (end < address.size() &&
           (std::isalnum(static_cast<unsigned char>(address[end])) || address[end] == '#')) {
      ++end;
    }
    if (end > amp + 1 && end < address.size() && address[end] == ';') {
      return address.substr(amp, end - amp + 1);
    }
  }
  return {};
}

}  // namespace

// --- Checking one command file ---------------------------------------------------------------

namespace {

// Keeps what the block handlers write as errors (a text or code block's file that cannot be
// read), so that the check reports it in its own form.
struct captured_errors {
  text_sink sink{nullptr, true};
  std::ostream stream{&sink};

  std::string take() { return std::exchange(sink.text, {}); }
};

// Where a setting line of the open block set a field.
struct field_origin {
  const void* field;
  location at;
};

// What checking one command file after another reuses: the context whose records carry from file
// to file as in a run, the streams the handlers write into, and the buffer a file is read into.
struct check_scratch {
  captured_errors errors;
  page_context context;
  std::ostream discard{nullptr};  // the handlers write the page into nothing
  external_reads reads;
  fs::path external_file;  // the file a text or code block read last, as the run names it
  std::string text;
  std::array<std::vector<field_origin>, kind_count> origins;  // see file_check

  check_scratch(block_records records, const prose_settings& prose)
      : context{std::move(records), prose, &errors.stream, {}, {}},
        reads{{}, {}, [this](const fs::path& file) { external_file = file; }} {}
  check_scratch(const check_scratch&) = delete;
  check_scratch& operator=(const check_scratch&) = delete;
};

// One command file being read.
struct file_check {
  const command_file_place& page;
  const project_folder& project;
  std::vector<diagnostic> found{};
  block_flags flags{};
  std::size_t line_number = 0;
  std::array<std::size_t, kind_count> opened_at{};  // 0 while the kind's block is closed
  std::vector<std::size_t> markdown_lines{};  // the line of each content line of the last @markdown
  bool any_block = false;
  bool in_page = false;              // inside the @page block of a site with settings
  std::size_t page_opened_at = 0;    // the line that opened it
  std::vector<named_place> named{};  // the places of the site that its addresses name
  check_scratch& scratch;
  page_context& context;  // the records as a run carries them, read by the handlers
  // Where the settings of each kind's open block were set, by kind.
  std::array<std::vector<field_origin>, kind_count>& origins;
  bool carriage_returns;  // whether the file holds any, which lines without need no look for

  void add(location at, severity level, std::string_view name, std::string message) {
    found.push_back({at.line, at.column, level, name, std::move(message)});
  }
  location here(std::size_t column = 1) const { return {line_number, column}; }
};

std::size_t kind_of(const block_route& route) {
  return static_cast<std::size_t>(&route - block_routes);
}

std::string_view opening_of(std::size_t kind) {
  return block_routes[kind].names.opening;
}

// Where the closing block's `field` was set; else its opening line, or the closing line itself
// when it closes no block and repeats the last block's settings.
location origin_of(const file_check& check, std::size_t kind, const void* field) {
  const std::vector<field_origin>& origins = check.origins[kind];
  for (auto origin = origins.rbegin(); origin != origins.rend(); ++origin) {
    if (origin->field == field) {
      return origin->at;
    }
  }
  return {check.opened_at[kind] != 0 ? check.opened_at[kind] : check.line_number, 1};
}

std::string_view key_of(file_check& check, const block_route& route, const void* field) {
  for (const setting_key& key : route.settings(check.project.prose)) {
    if (setting_field(key, check.context.records) == field) {
      return key.prefix.substr(0, key.prefix.size() - 1);
    }
  }
  return {};
}

void check_length(file_check& check, std::string_view key, std::string_view value, value_use use,
                  location at) {
  if ((use == value_use::link_size && value.empty()) || ends_in_blank(value)) {
    return;  // no style at all; or a trailing blank, reported where it was typed
  }
  const std::string written =
      written_length(value, use == value_use::link_size ? value_use::font_size : use);
  if (is_css_length(written)) {
    return;
  }
  check.add(at, severity::warning, "bad-length",
            std::string(key) + " " + in_quotes(value) + " is written as " + in_quotes(written) +
                ", which browsers drop; write " +
                working_length(value, use == value_use::link_size ? value_use::font_size : use));
}

void report_empty_source(file_check& check, const block_route& route, value_use use, location at) {
  const std::string what = use == value_use::pdf_source
                               ? "its frame shows the site's front page instead"
                               : "it shows nothing";
  check.add(at, severity::error, "empty-source",
            std::string(route.names.opening) + " has no source: " + what);
}

// `place` below the output folder as an address from the page.
std::string address_from_page(const file_check& check, const fs::path& place) {
  const fs::path folder = check.page.place.parent_path();
  return (folder.empty() ? place : place.lexically_relative(folder)).generic_string();
}

// `name` without its digits: "page.htm" for "page12.htm".
std::string without_digits(std::string_view name) {
  std::string kept;
  for (const char c : name) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
      kept += c;
    }
  }
  return kept;
}

// The file of the site that `relative`, which the site does not hold, most nearly names: the
// same name in the nearest folder, else a near name in the same folder that is not merely
// another number ("page2.htm" for "page3.htm"); empty when there is none.
std::string nearest_site_file(const file_check& check, const fs::path& relative) {
  const site_listing& site = check.project.site;
  const std::string folder = relative.parent_path().generic_string();
  const std::string name = relative.filename().string();
  if (const auto folders = site.folders_of_name.find(name); folders != site.folders_of_name.end()) {
    const std::string* best = &folders->second.front();
    for (const std::string& other : folders->second) {
      if (edit_distance(other, folder) < edit_distance(*best, folder)) {
        best = &other;
      }
    }
    return address_from_page(check, fs::path(*best) / name);
  }
  const auto names = site.names_in_folder.find(folder);
  if (names == site.names_in_folder.end()) {
    return {};
  }
  std::vector<std::string_view> near_names;
  for (const std::string& other : names->second) {
    if (without_digits(other) != without_digits(name)) {
      near_names.push_back(other);
    }
  }
  const std::string_view near = nearest_name(name, near_names);
  return near.empty() ? "" : address_from_page(check, relative.parent_path() / near);
}

// Whether `address` is a plain path down from the page's folder: names joined by single slashes,
// none "." or "..", nothing to decode or strip; most links and sources are.
bool is_plain_path(std::string_view address) {
  // One pass over the address; find_first_of would search the four bytes for each of its bytes.
  const auto special = [](char c) { return c == '?' || c == '#' || c == '%' || c == '\\'; };
  if (address.empty() || std::any_of(address.begin(), address.end(), special)) {
    return false;
  }
  for (std::size_t start = 0; start <= address.size();) {
    const std::size_t end = std::min(address.find('/', start), address.size());
    const std::string_view name = address.substr(start, end - start);
    if (name.empty() || name == "." || name == "..") {
      return false;
    }
    start = end + 1;
  }
  return true;
}

// The finding for an address that names a place inside the site, if that place is missing.
void check_site_address(file_check& check, std::string_view address, value_use use, location at) {
  if (is_plain_path(address)) {  // then the place is the page's folder and the address
    const std::string_view page_place = check.page.place.native();
    const std::size_t slash = page_place.rfind('/');  // the page's folder ends there
    std::string place(page_place.substr(0, slash == std::string_view::npos ? 0 : slash + 1));
    place.append(address);
    if (check.project.held.contains(place)) {
      check.named.push_back({std::move(place), true});
      return;
    }
  }
  std::string_view path = address.substr(0, address.find_first_of("?#"));
  const fs::path target =
      (check.page.place.parent_path() / percent_decoded(path)).lexically_normal();
  fs::path relative = target.filename().empty() ? target.parent_path() : target;
  if (path.empty() || relative.empty() || relative == "." || *relative.begin() == "..") {
    return;  // this page's own folder, or a place above the site that it cannot know
  }
  const bool held = site_holds(relative, check.project);
  check.named.push_back({relative.generic_string(), held});
  if (held) {
    return;
  }
  const fs::path source = check.project.input / relative;
  std::string why = "there is no " + source.string();
  if (site_entry_from(relative, check.project) == site_entry::command_file) {
    why = source.string() + " is compiled into a page, not copied; name the page, " +
          fs::path(relative).replace_extension(check.project.page_extension).filename().string();
  }
  const fs::path other_page = fs::path(relative).replace_extension(check.project.page_extension);
  if (check.project.page_blocks &&
      (relative.extension() == ".htm" || relative.extension() == ".html") &&
      other_page != relative && site_holds(other_page, check.project)) {
    why = "the pages of this site end in " + check.project.page_extension +
          " (orvello.toml); name the page, " + other_page.filename().string();
  } else if (site_entry_from(relative, check.project) != site_entry::command_file) {
    const std::string near = nearest_site_file(check, relative);
    why += near.empty() ? "" : "; did you mean " + in_quotes(near) + "?";
  }
  if (use == value_use::link) {
    check.add(at, severity::error, "broken-link",
              "the link " + in_quotes(address) + " leads to nothing in the site: " + why);
  } else {
    check.add(at, severity::error, "missing-source",
              "the source " + in_quotes(address) + " names no file of the site: " + why);
  }
}

// An address that starts with one "/": from the top of the host, which is the top of the site
// only when the site is served there.
void check_address_from_root(file_check& check, std::string_view address, location at) {
  const std::string_view path = address.substr(0, address.find_first_of("?#"));
  const fs::path relative = fs::path(percent_decoded(path.substr(1))).lexically_normal();
  std::string advice = "; give it relative to the page";
  const bool inside = !relative.empty() && *relative.begin() != "..";
  const bool held = inside && site_holds(relative, check.project);
  if (inside && relative != ".") {
    check.named.push_back({relative.generic_string(), held});
  }
  if (held) {
    advice = "; write " + in_quotes(address_from_page(check, fs::path(path.substr(1))) +
                                    std::string(address.substr(path.size())));
  }
  check.add(at, severity::warning, "address-from-root",
            "the address " + in_quotes(address) +
                " starts with \"/\", so it leads from the top of the host: it works only when the "
                "site is served at a host's top, not from files or a subfolder" +
                advice);
}

void check_address(file_check& check, const block_route& route, std::string_view value,
                   value_use use, location at) {
  const std::string_view address = trimmed(value);  // as browsers read an address
  if (address.empty() && use != value_use::link) {
    report_empty_source(check, route, use, at);
    return;
  }
  const std::string_view reference = character_reference(address);
  if (!reference.empty()) {
    check.add(at, severity::warning, "entity-in-address",
              "the address holds " + in_quotes(reference) +
                  ", which browsers read as a character reference, so it is not followed as "
                  "typed; write \"&\" alone");
  }
  if (use == value_use::pdf_source && (address.starts_with('/') || address.starts_with("site/"))) {
    check.add(at, severity::warning, "pdf-source-from-root",
              "the PDF source " + in_quotes(address) + " starts with " +
                  (address.starts_with('/') ? "\"/\"" : "\"site/\"") +
                  ", which the desktop frame drops while the phone button and a page opened "
                  "as a file keep it; give the source relative to the page");
    return;
  }
  if (address.starts_with('/') && !address.starts_with("//")) {
    check_address_from_root(check, address, at);
    return;
  }
  if (!is_outside_check(address)) {
    check_site_address(check, address, use, at);
  }
}

// Looks at what the closing line of `route` wrote: the record as the handler left it.
void check_written_block(file_check& check, const block_route& route) {
  const std::size_t kind = kind_of(route);
  for (const checked_field& field : fields_of(route).fields) {
    if (field.value == nullptr) {
      continue;
    }
    const std::string* value = field.value(check.context.records);
    const location at = origin_of(check, kind, value);
    if (field.use == value_use::source || field.use == value_use::pdf_source ||
        field.use == value_use::link) {
      check_address(check, route, *value, field.use, at);
    } else {
      check_length(check, key_of(check, route, value), *value, field.use, at);
    }
  }
}

void check_external_file(file_check& check, const block_route& route) {
  if (check.scratch.errors.sink.text.empty()) {
    return;
  }
  check.scratch.errors.take();
  const std::string path = check.scratch.external_file.string();
  const std::size_t kind = kind_of(route);
  const bool markdown = route.names.opening == markdown_block.opening;
  const block_records& records = check.context.records;
  const std::string& src = is_code(route) ? records.code.src
                           : markdown     ? records.markdown.src
                                          : records.text.src;
  check.add(origin_of(check, kind, &src), severity::error, "unreadable-file",
            "the file " + in_quotes(src) + " (" + path + ") cannot be read: the " +
                (is_code(route) ? "listing"
                 : markdown     ? "prose"
                                : "panel") +
                " shows an error line instead");
}

void open_block(file_check& check, std::size_t kind) {
  check.opened_at[kind] = check.line_number;
  check.origins[kind].clear();
  if (is_markdown(block_routes[kind])) {
    check.markdown_lines.clear();
  }
}

void report_unclosed(file_check& check, std::size_t kind, std::string_view what_follows) {
  check.add({check.opened_at[kind], 1}, severity::error, "unclosed-block",
            std::string(opening_of(kind)) + " is never closed" + std::string(what_follows) +
                ": the block is dropped from the page");
}

// --- Markdown and listings (sites with settings) ----------------------------------------------

// A content line of an open Markdown block is remembered with its line number, so that a finding
// in the Markdown points at its own line.
void note_markdown_line(file_check& check, std::string_view line, const block_route& route) {
  if (!is_markdown(route)) {
    return;
  }
  const std::span<const setting_key> keys = route.settings(check.project.prose);
  if (std::none_of(keys.begin(), keys.end(),
                   [&](const setting_key& key) { return line.starts_with(key.prefix); })) {
    check.markdown_lines.push_back(check.line_number);
  }
}

std::string lower_case(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// The engine's language nearest to `typed`, in any case; empty when none is near.
std::string nearest_language(std::string_view typed) {
  const std::vector<std::string> names = known_languages();
  std::vector<std::string> lower;
  for (const std::string& name : names) {
    lower.push_back(lower_case(name));
  }
  const std::vector<std::string_view> views(lower.begin(), lower.end());
  const std::string_view near = nearest_name(lower_case(typed), views);
  if (near.empty()) {
    return "";
  }
  return names[static_cast<std::size_t>(std::find(views.begin(), views.end(), near) -
                                        views.begin())];
}

void check_language(file_check& check, const block_route& route, const std::string& language) {
  if (language.empty() || find_language(language) || !highlight_engine_error().empty()) {
    return;  // a highlighter that cannot be loaded is reported by the run
  }
  const std::string near = nearest_language(language);
  check.add(origin_of(check, kind_of(route), &language), severity::warning, "unknown-language",
            "no language is called " + in_quotes(language) + ": the listing is not coloured" +
                (near.empty() ? "" : "; did you mean " + near + "?"));
}

// Every relative link and picture of the Markdown that leads to nothing, at its own line and
// column (in the file that @@src names, at that setting).
void check_markdown_references(file_check& check, const block_route& route) {
  const markdown_template_config& record = check.context.records.markdown;
  const std::vector<markdown_reference> references =
      markdown_references(markdown_text(record.lines));
  for (const markdown_reference& reference : references) {
    const std::size_t found_before = check.found.size();
    location at = origin_of(check, kind_of(route), &record.src);
    if (record.src.empty() && reference.line <= check.markdown_lines.size()) {
      at = {check.markdown_lines[reference.line - 1], reference.column};
    }
    check_address(check, route, reference.target,
                  reference.picture ? value_use::source : value_use::link, at);
    if (!record.src.empty()) {
      for (std::size_t i = found_before; i < check.found.size(); ++i) {
        check.found[i].message += " (in " + record.src + " at line " +
                                  std::to_string(reference.line) + ", column " +
                                  std::to_string(reference.column) + ")";
      }
    }
  }
}

void check_prose_block(file_check& check, const block_route& route) {
  if (is_code(route)) {
    check_language(check, route, check.context.records.code.language);
  } else if (is_markdown(route)) {
    check_language(check, route, check.context.records.markdown.language);
    check_markdown_references(check, route);
  }
}

void close_block(file_check& check, const block_route& route) {
  check_external_file(check, route);
  check_written_block(check, route);
  check_prose_block(check, route);
  const std::size_t kind = kind_of(route);
  check.opened_at[kind] = 0;
  check.origins[kind].clear();
}

// True when `line` opens or closes a kind of sites with settings.
bool needs_settings(std::string_view line) {
  return std::any_of(std::begin(block_routes), std::end(block_routes), [&](const block_route& r) {
    return r.needs_settings && (line == r.names.opening || line == r.names.closing);
  });
}

// "a tab", "tabs", "a blank" or "blanks", for the white space `blanks`.
std::string blanks_named(std::string_view blanks) {
  const bool tab = blanks.find('\t') != std::string_view::npos;
  if (blanks.size() == 1) {
    return tab ? "a tab" : "a blank";
  }
  return tab ? "tabs" : "blanks";
}

// What becomes of a line that an open block of `route` takes as neither setting nor block line,
// or that no block takes when `route` is null.
std::string fate_in(const block_route* route) {
  return route != nullptr && collects_lines(*route) ? "becomes " + std::string(content_name(*route))
                                                    : std::string("is ignored");
}

// A block line, or a setting of the open kind, with blanks or tabs before or after it: it is
// not that line. Inside a listing only its own closing line counts, as indented code is common.
bool check_blanks_around(file_check& check, std::string_view line, const block_route* route) {
  const auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  if (line.empty() || (!is_blank(line.front()) && !is_blank(line.back()))) {
    return false;  // most lines: neither starts nor ends with a blank
  }
  if (route != nullptr && is_code(*route) && !is_blank(line.back()) &&
      !line.ends_with(route->names.closing)) {
    return false;  // indented code, told without reading its indent
  }
  std::size_t first = 0;
  while (first < line.size() && is_blank(line[first])) {
    ++first;
  }
  if (first == line.size() || line[first] != '@') {
    return false;  // every block line and setting starts with "@"
  }
  std::size_t last = line.size() - 1;
  while (is_blank(line[last])) {
    --last;
  }
  const std::string_view bare = line.substr(first, last - first + 1);
  bool known =
      route == nullptr || !is_code(*route) ? is_block_line(bare) : bare == route->names.closing;
  if (route != nullptr && !is_code(*route) && bare.starts_with("@@") && first > 0) {
    const std::vector<std::string_view> names = key_names(*route, check.project.prose);
    known = known || std::find(names.begin(), names.end(), typed_key(bare)) != names.end();
  }
  if (!known) {
    return false;
  }
  const std::string named(bare.starts_with("@@") ? bare.substr(0, 2 + typed_key(bare).size())
                                                 : bare);
  const std::string_view blanks = first > 0 ? line.substr(0, first) : line.substr(last + 1);
  const std::string what = blanks_named(blanks);
  check.add(check.here(first > 0 ? 1 : last + 2), severity::warning, "blank-around-line",
            named + (first > 0 ? " is preceded by " : " is followed by ") + what +
                ", so it is not that line and " + fate_in(route) + "; remove the " +
                (what.starts_with("a ") ? what.substr(2) : what));
  return true;
}

// A line that no kind takes: no block is open.
void check_dropped_line(file_check& check, std::string_view line) {
  if (check_blanks_around(check, line, nullptr)) {
    return;
  }
  if (line == page_block.opening || line == page_block.closing) {
    check.add(check.here(), severity::warning, "page-needs-settings",
              std::string(line) +
                  " is a block only in a site with settings: without orvello.toml beside " +
                  check.project.input.string() + "/ the line is ignored");
  } else if (line.starts_with("@@")) {
    check.add(check.here(), severity::warning, "setting-outside-block",
              "@@" + std::string(typed_key(line)) + " stands outside every block and sets nothing");
  } else if (needs_settings(line)) {
    check.add(check.here(), severity::warning, "needs-settings",
              in_quotes(line) +
                  " belongs to sites with settings and is ignored here; put an "
                  "orvello.toml beside proj/ to use it");
  } else if (line.starts_with('@')) {
    check.add(check.here(), severity::warning, "unknown-line",
              in_quotes(line) + " is no line of the page language and is ignored" +
                  did_you_mean("", nearest_name(line, opening_and_closing_lines())));
  }
}

void take_setting(file_check& check, std::string_view line, const setting_key& key,
                  std::size_t kind) {
  const std::size_t value_column = key.prefix.size() + 1;
  check.origins[kind].push_back(
      {setting_field(key, check.context.records), check.here(value_column)});
  const std::string_view value = line.substr(key.prefix.size());
  if (ends_in_blank(value)) {
    const std::size_t kept = value.find_last_not_of(" \t") + 1;  // npos + 1 is 0
    check.add(check.here(value_column + kept), severity::warning, "trailing-blank",
              "the value " + in_quotes(value) + " of " +
                  std::string(key.prefix.substr(0, key.prefix.size() - 1)) +
                  " ends in blanks, which are part of it; write " +
                  in_quotes(value.substr(0, kept)));
  }
}

// A line starting with "@@" inside an open block of `route`.
void check_setting_line(file_check& check, std::string_view line, const block_route& route) {
  const std::size_t kind = kind_of(route);
  for (const setting_key& key : route.settings(check.project.prose)) {
    if (line.starts_with(key.prefix)) {
      take_setting(check, line, key, kind);
      return;
    }
  }
  const std::string_view typed = typed_key(line);
  const std::vector<std::string_view> names = key_names(route, check.project.prose);
  const std::string outcome = collects_lines(route)
                                  ? std::string(" and becomes ") + std::string(content_name(route))
                                  : " and sets nothing";
  if (std::find(names.begin(), names.end(), typed) != names.end()) {
    const bool tab = line.size() > 2 + typed.size() && line[2 + typed.size()] == '\t';
    check.add(
        check.here(3 + typed.size()), severity::warning, "setting-without-blank",
        "@@" + std::string(typed) +
            (tab ? " is followed by a tab, not one blank," : " is not followed by one blank") +
            outcome + "; write \"@@" + std::string(typed) + " \" and the value");
    return;
  }
  const std::string_view near = nearest_name(typed, names);
  if (collects_lines(route) && near.empty()) {
    return;  // content that happens to start with "@@"
  }
  check.add(check.here(), severity::warning, "unknown-setting",
            "@@" + std::string(typed) + " is no setting of " + std::string(route.names.opening) +
                outcome + did_you_mean("@@", near));
}

// The kind whose opening line `line` is; null when it is none.
const block_route* opened_by(std::string_view line) {
  for (const block_route& route : block_routes) {
    if (line == route.names.opening) {
      return &route;
    }
  }
  return nullptr;
}

// The keys of `inner` that `outer` has too, as "@@src, @@width and @@height".
std::string shared_keys(const block_route& inner, const block_route& outer,
                        const prose_settings& prose) {
  const std::vector<std::string_view> outer_names = key_names(outer, prose);
  std::vector<std::string_view> shared;
  for (const std::string_view name : key_names(inner, prose)) {
    if (std::find(outer_names.begin(), outer_names.end(), name) != outer_names.end() &&
        std::find(shared.begin(), shared.end(), name) == shared.end()) {
      shared.push_back(name);
    }
  }
  std::string listed;
  for (std::size_t i = 0; i < shared.size(); ++i) {
    listed += (i == 0 ? "" : i + 1 == shared.size() ? " and " : ", ") + std::string("@@");
    listed += shared[i];
  }
  return listed;
}

// The opening line of a later kind inside an open block of `outer`, which takes it: the inner
// block never opens.
void check_swallowed_block(file_check& check, const block_route& inner, const block_route& outer) {
  const std::string shared = shared_keys(inner, outer, check.project.prose);
  const std::string opening(inner.names.opening);
  check.add(check.here(), severity::error, "block-inside-block",
            opening + " inside " + std::string(outer.names.opening) +
                " opens no block: it and its lines up to " + std::string(inner.names.closing) +
                (collects_lines(outer)
                     ? " become lines of the " + std::string(is_code(outer) ? "listing" : "panel")
                     : std::string(" are ignored")) +
                (shared.empty() ? ""
                                : ", and its " + shared + " set those of " +
                                      std::string(outer.names.opening)) +
                "; close " + std::string(outer.names.opening) + " before " + opening);
}

// The opening line of an earlier kind inside an open block of a later kind, but for a listing,
// whose own finding names it: the routing opens the earlier block, written before the other.
void check_nested_opening(file_check& check, const block_route& inner, const block_flags& before) {
  std::size_t outer = kind_count;
  for (std::size_t kind = 0; kind < kind_count; ++kind) {
    if (before.*block_routes[kind].in_block &&
        (outer == kind_count || check.opened_at[kind] > check.opened_at[outer])) {
      outer = kind;
    }
  }
  if (outer == kind_count || before.code) {
    return;
  }
  const std::string outer_opening(opening_of(outer));
  check.add(check.here(), severity::warning, "block-inside-block",
            std::string(inner.names.opening) + " inside " + outer_opening +
                " opens its own block, which is written before the " + outer_opening +
                " block that holds it; close " + outer_opening + " before " +
                std::string(inner.names.opening));
}

// A closing line of a kind that is not open: the handler writes the kind's last block again.
void check_lone_closing(file_check& check, const block_route& route, const block_flags& before) {
  if (before.code) {
    return;  // named as a line taken from the listing
  }
  check.add(check.here(), severity::warning, "closing-without-opening",
            std::string(route.names.closing) + " closes no block: it writes the last " +
                std::string(route.names.opening) +
                " block of the run again, with its settings; remove it, or open the block "
                "before it");
}

// Whether `line` may be a block line or a setting, with or without blanks around it: most lines
// of a panel or a listing cannot.
bool may_be_command_line(std::string_view line) {
  const auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  return !line.empty() && (line.front() == '@' || is_blank(line.front()) || is_blank(line.back()));
}

// A line inside an open block of `route` that neither opens nor closes it.
void check_line_in_block(file_check& check, std::string_view line, const block_route& route) {
  if (check_blanks_around(check, line, &route) || !line.starts_with('@')) {
    return;  // the lines below all start with "@"
  }
  if (const block_route* inner = opened_by(line); inner != nullptr) {
    check_swallowed_block(check, *inner, route);
    return;
  }
  if (line.starts_with("@@")) {
    check_setting_line(check, line, route);
    return;
  }
  if (is_block_line(line)) {
    return;
  }
  const std::string_view near = nearest_name(line, opening_and_closing_lines());
  if (collects_lines(route) && near.empty()) {
    return;  // content such as a decorator in a listing
  }
  check.add(check.here(), severity::warning, "unknown-line",
            in_quotes(line) + " is no line of the page language and " +
                (collects_lines(route) ? "becomes " + std::string(content_name(route))
                                       : std::string("is ignored")) +
                did_you_mean("", near));
}

// A line that the routing gives an earlier kind while a code block is open.
void check_taken_from_code(file_check& check, std::string_view line, bool opens) {
  check.add(check.here(), severity::warning, "line-taken-from-code",
            std::string(line) + " inside @code is no line of the listing: it " +
                (opens ? "opens its own block" : "writes the last such block again") +
                ", which lands before the listing; show the language from a file with @@src");
}

// A line that holds carriage returns before its end: lines that end in a carriage return alone
// (old Mac line ends), which the run does not split, so they are read as one line.
bool check_bare_carriage_returns(file_check& check, std::string_view line) {
  const std::size_t content_end = line.find_last_not_of('\r') + 1;  // npos + 1 is 0
  if (line.substr(0, content_end).find('\r') == std::string_view::npos) {
    return false;
  }
  std::size_t pieces = 0;
  bool block_lost = false;
  for (std::size_t start = 0; start < content_end;) {
    const std::size_t end = std::min(line.find('\r', start), content_end);
    block_lost = block_lost || is_block_line(line.substr(start, end - start));
    pieces += end > start ? 1 : 0;
    start = end + 1;
  }
  check.add(check.here(), block_lost ? severity::error : severity::warning, "carriage-return-lines",
            "the file's lines end in a carriage return alone (old Mac line ends), which the run "
            "does not take as line ends: these " +
                std::to_string(pieces) + " lines are read as one line" +
                (block_lost ? ", and their blocks are lost" : "") +
                "; save the file with LF or CRLF line ends");
  return true;
}

// A byte-order mark at the start of the file, which the run reads as part of the first line.
void check_byte_order_mark(file_check& check, std::string_view line) {
  constexpr std::string_view mark = "\xEF\xBB\xBF";
  if (check.line_number != 1 || !line.starts_with(mark)) {
    return;
  }
  const std::string_view rest = line.substr(mark.size());
  const bool lost = is_block_line(rest);
  check.add(check.here(), lost ? severity::error : severity::warning, "byte-order-mark",
            "the file starts with a byte-order mark (the bytes EF BB BF), which the run reads as "
            "part of the first line" +
                (lost ? ", so that line is not " + std::string(rest) : std::string()) +
                "; save the file as UTF-8 without a byte-order mark");
}

// A line of the @page block of a site with settings.
void check_page_line(file_check& check, std::string_view line) {
  check.any_block = true;
  if (line == page_block.opening) {
    check.page_opened_at = check.line_number;
  }
  const std::string problem = page_setting_problem(line);
  if (!problem.empty()) {
    check.add(check.here(), severity::warning, "page-setting", problem);
  }
}

// The kind that takes every line while its block is open, as the routing tries the kinds.
const block_route* first_open_kind(const file_check& check) {
  for (const block_route& route : block_routes) {
    if ((!route.needs_settings || check.context.prose.enabled) && check.flags.*route.in_block) {
      return &route;
    }
  }
  return nullptr;
}

// The file that the text panel or the listing reads its lines from instead, when named.
const std::string& kept_source(std::size_t kind, const block_records& records) {
  return kind == code_kind ? records.code.src : records.text.src;
}

// Hands `line` to the run's routing and returns the kind that took it. A text panel's or
// listing's closing line writes all its lines, escaped, into nothing: they are set aside while
// it is handed on, and back after. A block that reads a file is handed on as it is, since the
// file's lines replace its own.
const block_route* route_set_aside(file_check& check, std::string_view line,
                                   std::ostream& discard) {
  block_records& records = check.context.records;
  const std::string_view bare = without_carriage_return(line);  // as the handlers compare it
  for (const std::size_t kind : {text_kind, code_kind}) {
    if (bare == block_routes[kind].names.closing && kept_source(kind, records).empty()) {
      block_lines& kept = *block_routes[kind].lines(records);
      block_lines set_aside = std::exchange(kept, block_lines{});
      const block_route* route = route_line(line, check.flags, check.context, discard);
      kept = std::move(set_aside);
      return route;
    }
  }
  return route_line(line, check.flags, check.context, discard);
}

// Hands `line` to the kind that takes it, as a run does, and returns that kind. A line without
// "@" at its front that an open text panel or listing takes becomes one of its lines, as its
// handler would make it.
const block_route* route_checked_line(file_check& check, std::string_view line,
                                      std::ostream& discard) {
  if (!line.starts_with('@')) {
    const block_route* open = first_open_kind(check);
    if (open != nullptr && collects_lines(*open)) {
      add_line(check.context, *open->lines(check.context.records), without_carriage_return(line));
      return open;
    }
  }
  return route_set_aside(check, line, discard);
}

// Checks one line and returns the kind that took it, null when none did.
const block_route* check_line(file_check& check, std::string_view line, std::ostream& discard) {
  check_byte_order_mark(check, line);
  // Only the opening line of @page, or a line while it is open, can be taken by it.
  if (check.project.page_blocks && (check.in_page || line == page_block.opening) &&
      takes_page_line(line, check.in_page, check.flags != block_flags{})) {
    check_page_line(check, line);
    return nullptr;
  }
  const block_flags before = check.flags;
  const block_route* route = route_checked_line(check, line, discard);
  if (check.carriage_returns && check_bare_carriage_returns(check, line)) {
    return route;  // the line is no line the author wrote; the routing above keeps the records
  }
  if (route == nullptr) {
    check_dropped_line(check, line);
    return route;
  }
  check.any_block = true;
  const std::size_t kind = kind_of(*route);
  const bool was_open = before.*route->in_block;
  const bool is_open = check.flags.*route->in_block;
  if (before.code && !is_code(*route) && !was_open) {
    check_taken_from_code(check, line, is_open);
  }
  if (!was_open && is_open) {
    check_nested_opening(check, *route, before);
    open_block(check, kind);
  } else if (!is_open) {
    if (!was_open) {
      check_lone_closing(check, *route, before);
    }
    close_block(check, *route);
  } else if (line == route->names.opening) {
    report_unclosed(check, kind,
                    ", for it opens again at line " + std::to_string(check.line_number));
    open_block(check, kind);
  } else {
    note_markdown_line(check, line, *route);
    if (may_be_command_line(line)) {
      check_line_in_block(check, line, *route);
    }
  }
  return route;
}

void check_end_of_file(file_check& check) {
  for (std::size_t kind = 0; kind < kind_count; ++kind) {
    if (check.opened_at[kind] != 0) {
      report_unclosed(check, kind, " before the end of the file");
    }
  }
  if (check.in_page) {
    check.add({check.page_opened_at, 1}, severity::error, "unclosed-block",
              "@page is never closed before the end of the file: every line after it is taken "
              "as a setting of the page, and the page shows none of them");
  }
  if (check.any_block) {
    return;
  }
  const fs::path extension = check.page.file.extension();
  if (extension == ".c" || extension == ".cpp") {
    check.add({1, 1}, severity::warning, "source-as-page",
              "this file has no block: it becomes an empty page and is not copied to the site; "
              "to show it in a code block, give it a name that does not end in " +
                  extension.string() + " (such as " + check.page.file.filename().string() +
                  ".txt)");
  }
}

}  // namespace

namespace {

// Readies `scratch` for the next file: what the last one left besides its records is dropped.
void start_file(check_scratch& scratch, const command_file_place& page) {
  scratch.context.html.used = 0;
  scratch.errors.take();
  for (std::vector<field_origin>& origins : scratch.origins) {
    origins.clear();
  }
  scratch.reads.folder = folder_of(page.file);
}

// Checks each line of `text`, as getline splits it, and the end of the file; notes in `kinds`
// which kind took each line when `with_kinds`.
void check_all_lines(file_check& check, std::string_view text, bool with_kinds,
                     std::vector<std::string_view>& kinds) {
  text_lines lines{text};
  for (std::string_view line; lines.next(line);) {
    line = without_carriage_return(line);
    ++check.line_number;
    const bool was_in_page = check.in_page;
    const block_route* route = check_line(check, line, check.scratch.discard);
    if (with_kinds) {
      kinds.push_back(route != nullptr               ? route->names.opening
                      : was_in_page || check.in_page ? page_block.opening
                                                     : std::string_view());
    }
  }
  check_end_of_file(check);
}

// Checks the command file whose bytes are `text`, split into lines as getline splits them, from
// the records in `scratch` and leaving there those a run leaves; says which kind took each line
// when `with_kinds`.
checked_text check_text(std::string_view text, const command_file_place& page,
                        const project_folder& project, check_scratch& scratch, bool with_kinds) {
  start_file(scratch, page);
  file_check check{.page = page,
                   .project = project,
                   .scratch = scratch,
                   .context = scratch.context,
                   .origins = scratch.origins,
                   .carriage_returns = text.find('\r') != std::string_view::npos};
  const external_reads_scope reading(scratch.discard, scratch.reads);
  std::vector<std::string_view> kinds;
  kinds.reserve(with_kinds ? text.size() / 32 : 0);  // about a line in 32 bytes
  // The blocks keep views of the file's lines, as a run's do, copied before `text` goes away.
  scratch.context.lines_last_the_page = true;
  try {
    check_all_lines(check, text, with_kinds, kinds);
  } catch (...) {
    keep_page_lines(scratch.context);
    throw;
  }
  keep_page_lines(scratch.context);
  std::stable_sort(check.found.begin(), check.found.end(),
                   [](const diagnostic& a, const diagnostic& b) {
                     return std::pair(a.line, a.column) < std::pair(b.line, b.column);
                   });
  return {std::move(check.found), std::move(kinds), std::move(check.named)};
}

// The whole of what `source` holds, read in large pieces rather than line by line.
std::string read_all(std::istream& source) {
  std::string text;
  std::array<char, 1 << 16> piece;
  while (source.read(piece.data(), piece.size()) || source.gcount() > 0) {
    text.append(piece.data(), static_cast<std::size_t>(source.gcount()));
  }
  return text;
}

}  // namespace

checked_text check_command_text(std::istream& source, const command_file_place& page,
                                const project_folder& project, block_records& records) {
  check_scratch scratch(std::move(records), project.prose);
  checked_text checked = check_text(read_all(source), page, project, scratch, true);
  records = std::move(scratch.context.records);
  return checked;
}

std::vector<diagnostic> check_command_lines(std::istream& source, const command_file_place& page,
                                            const project_folder& project, block_records& records) {
  return check_command_text(source, page, project, records).found;
}

std::optional<css_length> css_length_of(std::string_view opening, std::string_view key,
                                        std::string_view value) {
  const block_route* route = opened_by(opening);
  if (route == nullptr) {
    return std::nullopt;
  }
  block_records records;  // where the fields lie, to tell which one the key fills
  const void* field = nullptr;
  for (const setting_key& candidate : route->settings(prose_settings{.enabled = true})) {
    if (key_name(candidate) == key) {
      field = setting_field(candidate, records);
    }
  }
  for (const checked_field& checked : fields_of(*route).fields) {
    if (field == nullptr || checked.value == nullptr || checked.value(records) != field ||
        checked.use == value_use::source || checked.use == value_use::pdf_source ||
        checked.use == value_use::link) {
      continue;
    }
    const value_use use = checked.use == value_use::link_size ? value_use::font_size : checked.use;
    if (checked.use == value_use::link_size && value.empty()) {
      return css_length{"", "", true, ""};  // no style at all
    }
    const std::string written = written_length(value, use);
    const bool taken = is_css_length(written);
    return css_length{key == "size" ? "font-size" : std::string(key), written, taken,
                      taken ? "" : working_length(value, use)};
  }
  return std::nullopt;
}

// --- Checking the project --------------------------------------------------------------------

namespace {

// Two command files that become the same page: the one met later in the walk reports it.
void check_same_page(const command_file_place& page, const project_folder& project,
                     std::unordered_set<std::string>& pages_met, std::vector<diagnostic>& found) {
  const std::string& file = page.file.native();
  const std::string& place = page.place.native();
  const std::string stem = file.substr(0, file.size() - file_extension(name_of(page.file)).size());
  const std::string page_place =
      place.substr(0, place.size() - file_extension(name_of(page.place)).size()) + ".htm";
  if (project.walked.contains(stem + ".htm")) {
    found.push_back(
        {1, 1, severity::error, "same-page",
         "the page site/" + page_place + " replaces the file " + stem + ".htm" + " copied there"});
  }
  for (const std::string& other : project.extensions) {
    const std::string twin = stem + other;
    if (twin == file || !project.walked.contains(twin)) {
      continue;
    }
    if (!pages_met.insert(page_place).second) {
      found.push_back({1, 1, severity::error, "same-page",
                       "this file and " + twin + " both become the page site/" + page_place +
                           ": the one compiled later replaces the other"});
    }
    return;
  }
}

// Reads the command file of `page` into `scratch.text`; false when it cannot be opened.
bool read_command_file(const command_file_place& page, check_scratch& scratch) {
  command_source source = open_command_source(page.file.native(), std::move(scratch.text));
  if (source.file.fd >= 0) {  // too large to have been read ahead
    read_command_source(source, [&](std::istream& in) { source.text = read_all(in); });
  }
  scratch.text = std::move(source.text);
  return source.opened;
}

file_findings check_command_file(const command_file_place& page, const project_folder& project,
                                 std::unordered_set<std::string>& pages_met,
                                 check_scratch& scratch) {
  file_findings result;
  check_same_page(page, project, pages_met, result.found);
  if (!read_command_file(page, scratch)) {
    result.found.push_back({1, 1, severity::error, "unreadable-file",
                            "this command file cannot be read: the run fails on it"});
    return result;
  }
  if (is_source_page(project.prose, name_of(page.file))) {
    return result;  // shown as its own listing: no line of it is a line of the page language
  }
  checked_text lines = check_text(scratch.text, page, project, scratch, false);
  result.found.insert(result.found.end(), std::make_move_iterator(lines.found.begin()),
                      std::make_move_iterator(lines.found.end()));
  result.named = std::move(lines.named);
  return result;
}

// A file that ends in a command file's extension in another case ("Notes.ORV") and holds an
// opening line: the run copies it as it is instead of compiling it.
void check_other_case(const command_file_place& file, const project_folder& project,
                      std::vector<diagnostic>& found) {
  const std::string extension(file_extension(name_of(file.file)));
  std::string lower = extension;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (std::find(project.extensions.begin(), project.extensions.end(), lower) ==
      project.extensions.end()) {
    return;
  }
  std::ifstream source(file.file);
  std::string line;
  for (std::size_t number = 1; number <= 1000 && std::getline(source, line); ++number) {
    if (opened_by(without_carriage_return(line)) == nullptr) {
      continue;
    }
    const fs::path named = fs::path(file.file.filename()).replace_extension(lower);
    found.push_back(
        {number, 1, severity::error, "command-file-case",
         "this file ends in " + in_quotes(extension) + ", not " + in_quotes(lower) +
             ", so the run copies it to the site as it is instead of compiling it "
             "into the page site/" +
             fs::path(file.place).replace_extension(project.page_extension).generic_string() +
             "; rename it " + named.string()});
    return;
  }
}

}  // namespace

bool read_pages_before(const project_folder& project, const fs::path& file,
                       block_records& records) {
  std::unordered_set<std::string> pages_met;
  check_scratch scratch(std::move(records), project.prose);
  bool met = false;
  for (const command_file_place& walked : project.files) {
    if (walked.file == file) {
      met = true;
      break;
    }
    if (is_command_file(name_of(walked.file), project.extensions)) {
      check_command_file(walked, project, pages_met, scratch);
    }
  }
  records = std::move(scratch.context.records);
  return met;
}

namespace {

// The place below the output folder that a run gives the file at `place` below the input folder:
// the file itself, or the page a command file becomes.
std::string written_place(std::string_view place, const project_folder& project) {
  const std::string_view name = place.substr(place.rfind('/') + 1);  // npos + 1 is 0
  std::string written(place);
  if (is_command_file(name, project.extensions)) {
    written.resize(place.size() - file_extension(name).size());
    written += project.page_extension;
  }
  return written;
}

// Lists the file that the run writes at `written` below the output folder.
void list_site_file(site_listing& site, const std::string& written) {
  const std::size_t slash = written.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : written.substr(0, slash);
  const std::string name = written.substr(slash + 1);  // npos + 1 is 0
  site.names_in_folder[folder].push_back(name);
  site.folders_of_name[name].push_back(folder);
}

// Notes what the site holds for the entry of the walk at `place`: the entry itself when it is a
// folder or a copied file, the page of a command file. An entry reached through a link is left to
// site_holds, which follows the link as a run does. The run writes the entry at `written`.
void note_held(project_folder& project, const walked_entry& entry, const std::string& place,
               const std::string& written) {
  const std::string_view name = std::string_view(place).substr(place.rfind('/') + 1);
  if (entry.kind == walked_kind::folder) {
    project.held.insert(place);
  } else if (entry.kind == walked_kind::file) {
    const bool command_file = is_command_file(name, project.extensions);
    if (!command_file || is_source_page(project.prose, name)) {
      project.held.insert(place);
    }
    if (command_file) {
      project.held.insert(written);
    }
  }
}

void note_walked(project_folder& project, const input_tree& tree, const walked_entry& entry) {
  std::string place = place_below(entry, tree);
  const std::string written = written_place(place, project);
  note_held(project, entry, place, written);
  std::error_code error;
  if (leads_to_file(entry, error)) {
    list_site_file(project.site, written);
    project.walked.emplace(entry.path);
    project.files.push_back({fs::path(entry.path), std::move(place)});
  }
}

}  // namespace

void read_project_folder(const std::string& input, std::string_view page_extension,
                         bool page_blocks, const prose_settings& prose, project_folder& project) {
  std::error_code error;
  project.input = input;
  project.resolved = fs::weakly_canonical(input, error);
  project.extensions = command_file_extensions();
  project.page_extension = page_extension;
  project.page_blocks = page_blocks;
  project.prose = prose;
  list_site_file(project.site, written_place("main.css", project));
  project.held.insert("main.css");
  // Kept for the check to print, so that the walk may run beside a build's own console lines.
  constexpr std::string_view prefix = "File system error during the check: ";
  std::ostringstream errors;
  project.walk_complete = run_walking_step(
      input, prefix,
      [&] {
        const input_tree tree = open_input_tree(input);
        bool complete = true;
        walk_input_with(
            tree, [&](const walked_entry& entry) { note_walked(project, tree, entry); },
            [&](const fs::filesystem_error& failure) {
              errors << prefix << failure.what() << "\n";
              complete = false;
            });
        return complete;
      },
      errors);
  project.walk_errors = std::move(errors).str();
}

namespace {

file_findings check_file(const command_file_place& file, const project_folder& project,
                         std::unordered_set<std::string>& pages_met, check_scratch& scratch) {
  if (is_command_file(name_of(file.file), project.extensions)) {
    return check_command_file(file, project, pages_met, scratch);
  }
  file_findings result;
  if (file.place == "main.css") {
    result.found.push_back({1, 1, severity::warning, "main-css-replaced",
                            "the run writes its own stylesheet site/main.css over this file"});
  } else {
    check_other_case(file, project, result.found);
  }
  return result;
}

}  // namespace

file_findings check_input_file(const command_file_place& file, const project_folder& project,
                               std::unordered_set<std::string>& pages_met, block_records& records) {
  check_scratch scratch(std::move(records), project.prose);
  file_findings found = check_file(file, project, pages_met, scratch);
  records = std::move(scratch.context.records);
  return found;
}

check_totals check_project(
    const project_folder& project,
    const std::function<void(const fs::path& file, const file_findings&)>& report) {
  std::unordered_set<std::string> pages_met;  // only pages that have a twin
  check_scratch scratch({}, project.prose);   // its records carry from page to page as in a run
  check_totals totals;
  totals.walked = project.walk_complete;
  for (const command_file_place& file : project.files) {
    totals.pages += is_command_file(name_of(file.file), project.extensions) ? 1 : 0;
    report(file.file, check_file(file, project, pages_met, scratch));
  }
  return totals;
}
