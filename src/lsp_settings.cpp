#include "lsp_settings.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "block_records.h"
#include "block_routing.h"
#include "page_facts.h"
#include "prose_settings.h"

namespace {

// The editor's help offers the kinds and keys of sites without settings.
constexpr prose_settings editor_prose{};

struct key_meaning {
  std::string_view opening;
  std::string_view key;
  std::string_view meaning;
};

constexpr std::string_view length =
    "a length: a bare number means pixels; `%`, `px` and `auto` are kept";
constexpr std::string_view address = "the address, relative to the page";
constexpr std::string_view autoplay = "`true` starts it by itself, muted";
constexpr std::string_view loop = "`true` plays it again and again";

constexpr key_meaning meanings[] = {
    {"@title", "size", "the font size; a bare number means pixels"},
    {"@title", "color", "any CSS colour"},
    {"@title", "text", "the heading, escaped"},
    {"@text", "width", length},
    {"@text", "height", length},
    {"@text", "size", "the font size: a bare number means pixels; `px` and `em` are kept"},
    {"@text", "color", "any CSS colour"},
    {"@text", "src", "a file beside the page whose lines replace the content lines"},
    {"@text", "whitespace",
     "the CSS white-space of each line: `pre` keeps lines as they are, `pre-wrap` wraps them"},
    {"@link", "url", address},
    {"@link", "text", "the link's text, escaped"},
    {"@link", "target", "where it opens: `_blank` for a new tab"},
    {"@link", "size", "the font size; an empty value writes no style at all"},
    {"@image", "src", "the picture's address (`src` and `url` set the same value)"},
    {"@image", "url", "the picture's address (`src` and `url` set the same value)"},
    {"@image", "alt", "the text shown when the picture is not, escaped"},
    {"@image", "width", length},
    {"@image", "height", length},
    {"@video", "src", "the video's address"},
    {"@video", "url", "the video's address"},
    {"@video", "width", length},
    {"@video", "height", length},
    {"@video", "autoplay", autoplay},
    {"@video", "loop", loop},
    {"@audio", "src", "the sound's address"},
    {"@audio", "url", "the sound's address"},
    {"@audio", "autoplay", autoplay},
    {"@audio", "loop", loop},
    {"@pdf", "src", "the document's address, relative to the page, without a leading `/`"},
    {"@pdf", "url", "the document's address, relative to the page, without a leading `/`"},
    {"@pdf", "width", "the frame's width, a length"},
    {"@pdf", "height", "the frame's height, a length"},
    {"@pdf", "buttontext", "the text of the button shown on phones, escaped"},
    {"@download", "url", "the file's address"},
    {"@download", "src", "the file's address"},
    {"@download", "text", "the button's text, escaped"},
    {"@code", "width", length},
    {"@code", "height", length},
    {"@code", "src", "a source file beside the page whose lines replace the content lines"},
};

// The keys of the @page block of a site with settings, with their defaults.
const setting_help page_settings[] = {
    {"title",
     "the page's title in <title>, the menu, breadcrumbs and previous/next links; when empty, the "
     "text of its first @title, else its file name",
     ""},
    {"description", "the page's description; when empty, the site's", ""},
    {"date", "the page's date, such as `2026-11-20`: in the sitemap and the feed", ""},
    {"order", "its place in the menu, a whole number: pages with an order come first, lowest first",
     ""},
    {"menu", "`false` leaves the page out of the menu and of previous/next", "true"},
};

constexpr std::pair<std::string_view, std::string_view> kind_meanings[] = {
    {"@title", "a heading"},
    {"@text", "a panel of text lines"},
    {"@link", "a link"},
    {"@image", "a picture"},
    {"@video", "a video player"},
    {"@audio", "an audio player"},
    {"@pdf", "a PDF document: a frame on desktops, a button on phones"},
    {"@download", "a download button"},
    {"@code", "a numbered code listing"},
};

std::string_view meaning_of(std::string_view opening, std::string_view key) {
  for (const key_meaning& entry : meanings) {
    if (entry.opening == opening && entry.key == key) {
      return entry.meaning;
    }
  }
  return {};
}

// The value a key's field holds right after an opening line reset the record.
std::string default_of(const setting_key& key) {
  block_records defaults;
  return std::visit(
      [&](auto field) {
        if constexpr (std::is_same_v<decltype(field(defaults)), bool*>) {
          return std::string(*field(defaults) ? "on" : "off");
        } else {
          return *field(defaults);
        }
      },
      key.field);
}

}  // namespace

std::vector<kind_help> block_kinds() {
  std::vector<kind_help> kinds;
  for (const block_route& route : block_routes) {
    if (route.needs_settings && !editor_prose.enabled) {
      continue;  // a kind of sites with settings only
    }
    std::string_view meaning;
    for (const auto& [opening, words] : kind_meanings) {
      meaning = opening == route.names.opening ? words : meaning;
    }
    kinds.push_back({route.names.opening, route.names.closing, meaning});
  }
  return kinds;
}

kind_help kind_of_line(std::string_view line) {
  for (const kind_help& kind : block_kinds()) {
    if (line == kind.opening || line == kind.closing) {
      return kind;
    }
  }
  return {};
}

std::vector<setting_help> settings_of(std::string_view opening) {
  if (opening == page_block.opening) {
    return {std::begin(page_settings), std::end(page_settings)};
  }
  std::vector<setting_help> settings;
  for (const block_route& route : block_routes) {
    if (route.names.opening != opening) {
      continue;
    }
    for (const setting_key& key : route.settings(editor_prose)) {
      const std::string_view name = key.prefix.substr(2, key.prefix.size() - 3);
      settings.push_back({name, meaning_of(opening, name), default_of(key)});
    }
  }
  return settings;
}
