// The site tree, the page compiler and the pieces every block kind shares.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "html_escape.h"  // the escaping that the page compiler and its blocks use

// The local start time of the run, "%d-%m-%Y at %H:%M:%S"; every page footer shows it.
extern std::string build_timestamp;

// --- Site tree -------------------------------------------------------------------------------

// Removes `dir` with everything below it; true when it is gone or was never there.
bool delete_directory(const std::string& dir);

struct walk_listing;

// Creates `destination` and one empty folder in it for every folder below `source`; keeps the
// entries it walked in `listing` when that is given.
bool replicate_directory_structure(const std::string& source, const std::string& destination,
                                   walk_listing* listing = nullptr);

// Copies every regular file below `source` that is not a command file to the same place below
// `destination`; walks the entries of `listing` when that is given and complete.
bool copy_non_command_files(const std::string& source, const std::string& destination,
                            const std::vector<std::string>& extensions,
                            const walk_listing* listing = nullptr);

// Writes the site's one stylesheet, `folder`/main.css: `text`, or the default sheet when empty.
bool create_main_css(const std::string& folder, std::string_view text = {});

// --- Page compiler ---------------------------------------------------------------------------

struct page_frame;

// The icon every page of a run links: favicon.png when the project brought one, else favicon.ico.
struct page_icon {
  std::string name = "favicon.ico";
  std::string type = "image/x-icon";
};

// The icon of a run whose site holds favicon.png (`png`) or not.
page_icon page_icon_for(bool png);

// The icon of a run that writes its site to `output`, as step 3 left it.
page_icon page_icon_in(const std::string& output);

struct external_reads;
struct page_context;

// Writes the page of one command file: the head linking the icon and the stylesheet behind
// `prefix` ("../" per folder), every line of `source` routed to its block, and the footer; with
// a `frame`, its head and foot instead, and the @page block is no content, and a source file
// (`command_file` names it) shows its own listing instead. The blocks start from the records of
// `context` and leave theirs there, and `context` learns whether the page looked a language up;
// text and code blocks read their external files through `reads`.
void compile_page(std::istream& source, std::ostream& page, page_context& context,
                  const std::string& prefix, const page_icon& icon, const external_reads& reads,
                  const page_frame* frame = nullptr, std::string_view command_file = {});

// As compile_page above, the command file's text held in `source`.
void compile_page(std::string_view source, std::ostream& page, page_context& context,
                  const std::string& prefix, const page_icon& icon, const external_reads& reads,
                  const page_frame* frame = nullptr, std::string_view command_file = {});

// The lines of a command file held in memory, as std::getline gives them from a stream: a last
// line without its line end counts, an empty piece after the last line end does not.
struct text_lines {
  std::string_view rest;

  bool next(std::string_view& line) {
    if (rest.empty()) {
      return false;
    }
    // memchr and a view at once: find() and substr() check again what is known here.
    const auto* const end = static_cast<const char*>(std::memchr(rest.data(), '\n', rest.size()));
    const std::size_t size =
        end == nullptr ? rest.size() : static_cast<std::size_t>(end - rest.data());
    line = std::string_view(rest.data(), size);
    rest.remove_prefix(end == nullptr ? size : size + 1);
    return true;
  }
};

// The extension of a file name: from its last "." to the end, or empty when the name has no dot
// or its only dot is the first character.
std::string_view file_extension(std::string_view name);

// True when the extension of `name` equals one of `extensions` exactly.
bool is_command_file(std::string_view name, const std::vector<std::string>& extensions);

// "../" once per folder between the input folder and a file whose path below it is `relative`.
std::string depth_prefix(std::string_view relative);

// --- The block protocol shared by the nine kinds ----------------------------------------------

// The opening and closing line of a block kind ("@title", "@end_title").
struct block_names {
  std::string_view opening;
  std::string_view closing;
};

// Follows the block protocol for one line that the router gave a kind: its opening line opens the
// block and resets `record` to the kind's defaults (its lines keep their room), its closing line
// closes the block and calls `write` (the record keeps its values), and any other line inside the
// block goes to `take_line`.
template <typename Record, typename TakeLine, typename Write>
void follow_block_protocol(std::string_view line, block_names names, bool& in_block, Record& record,
                           TakeLine take_line, Write write) {
  if (line == names.opening) {
    in_block = true;
    if constexpr (requires { record.lines; }) {
      auto kept = std::move(record.lines);
      kept.clear();
      record = Record{};
      record.lines = std::move(kept);
    } else {
      record = Record{};
    }
  } else if (line == names.closing) {
    in_block = false;
    write();
  } else if (in_block) {
    take_line(line);
  }
}

// Whether `line` starts with `name`, a block's opening or closing line or a setting key: names of
// up to sixteen bytes are compared in two loads from each, cheaper than a call of memcmp, which
// the compiler makes when the name is not known where it compiles the comparison.
inline bool starts_with_name(std::string_view line, std::string_view name) {
  const std::size_t size = name.size();
  if (line.size() < size) {
    return false;
  }
  const auto same_ends = [&](auto word) {
    auto other = word;
    std::memcpy(&word, line.data(), sizeof word);
    std::memcpy(&other, name.data(), sizeof other);
    if (word != other) {
      return false;
    }
    std::memcpy(&word, line.data() + size - sizeof word, sizeof word);
    std::memcpy(&other, name.data() + size - sizeof other, sizeof other);
    return word == other;
  };
  if (size > 16) {
    return line.starts_with(name);
  }
  if (size >= 8) {
    return same_ends(std::uint64_t{});
  }
  if (size >= 4) {
    return same_ends(std::uint32_t{});
  }
  return line.substr(0, size) == name;
}

// Whether `line` is `name`, as starts_with_name compares them.
inline bool is_name(std::string_view line, std::string_view name) {
  return line.size() == name.size() && starts_with_name(line, name);
}

// `line` without one trailing carriage return.
inline std::string_view without_carriage_return(std::string_view line) {
  if (line.ends_with('\r')) {
    line.remove_suffix(1);
  }
  return line;
}

struct block_records;

// A setting key ("@@size ", always beginning with "@@") and the field of the block records that it
// fills, found in whichever records a page compiles with.
struct setting_key {
  std::string_view prefix;
  std::variant<std::string* (*)(block_records&), bool* (*)(block_records&)> field;
};

// As apply_setting below, for a line that starts with "@@".
bool apply_key(std::string_view line, std::span<const setting_key> keys, block_records& records);

// Stores the rest of `line` in `records` at the field of the first of `keys` that starts it (a flag
// becomes true when the rest is exactly "true"); false when no key matches. Most lines of a text
// or code block cannot start a key, which is seen here before any call.
inline bool apply_setting(std::string_view line, std::span<const setting_key> keys,
                          block_records& records) {
  return line.starts_with("@@") && apply_key(line, keys, records);
}

// The address of the field that `key` fills in `records`.
const void* setting_field(const setting_key& key, block_records& records);

// `value` with each double quote written as "&quot;", so that it cannot end a quoted attribute.
std::string escape_quotes(std::string_view value);

// A width or height: "px" appended unless it is "auto" or holds "%" or "px".
std::string dimension_with_unit(std::string_view value);

struct html_buffer;

// Appends "width: W; height: H" for a panel's style attribute, each with its unit and its double
// quotes escaped.
void add_size_style(html_buffer& html, std::string_view width, std::string_view height);

// A font size: "px" appended unless it holds "px", "em" or "rem".
std::string text_size_with_unit(std::string_view value);

// A font size: "px" appended unless it holds "%", "px", "em" or "rem".
std::string font_size_with_unit(std::string_view value);

// `value` as the inside of a double-quoted JavaScript string literal whose value is `value`; a "<"
// is written as "\x3C" so that the text cannot end the script element.
std::string javascript_string_escape(std::string_view value);

// The attributes of an audio or video player: "controls", then " autoplay muted" and " loop".
std::string media_attributes(bool autoplay, bool loop);
