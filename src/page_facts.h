// The @page block of a site with settings, and what the navigation needs to know of a page: its
// title, description, date, place in the order and whether the menu shows it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "block_routing.h"

inline constexpr block_names page_block{"@page", "@end_page"};

// What a command file says about its page.
struct page_facts {
  std::string title;  // @@title, else the text of the first title block, else empty
  std::string description;
  std::string date;  // "2026-12-07", or empty
  std::optional<long long> order;
  bool menu = true;

  bool operator==(const page_facts&) const = default;
};

// Reads the facts from the whole text of a command file, routing its lines as the page compiler
// does; values that cannot be used (see page_setting_problem) are left out.
page_facts read_page_facts(std::string_view text);

// Whether `line` belongs to the @page block (its opening and closing lines included), which opens
// only where no other block is open (`other_open`); `in_page` follows the block from line to line.
bool takes_page_line(std::string_view line, bool& in_page, bool other_open);

// What is wrong with a line inside an @page block, for the check: empty when it sets a key well.
std::string page_setting_problem(std::string_view line);
