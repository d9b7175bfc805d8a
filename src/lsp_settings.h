// What each block kind and setting key is for, and each key's default: the words that the
// language server's completion and hover show.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A block kind: its opening and closing line and what its block shows.
struct kind_help {
  std::string_view opening;
  std::string_view closing;
  std::string_view meaning;
};

// A setting key of a kind: "src", what its value means, and its default as the opening line
// resets it ("" for an empty value, "off" for a switch).
struct setting_help {
  std::string_view key;
  std::string_view meaning;
  std::string default_value;
};

// The nine kinds, in routing order.
std::vector<kind_help> block_kinds();

// The kind whose opening or closing line is `line`; nothing (an empty opening) when none.
kind_help kind_of_line(std::string_view line);

// The keys of the kind opened by `opening` ("@image", or "@page" in a site with settings), in the
// order they are tried, once each.
std::vector<setting_help> settings_of(std::string_view opening);
