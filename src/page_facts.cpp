#include "page_facts.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "near_names.h"

namespace {

// Follows the routing of `line` through the in-block flags as route_line does, without handing it
// to a kind; the route taken, or nullptr.
const block_route* follow_route(std::string_view line, block_flags& flags) {
  for (const block_route& route : block_routes) {
    bool& in_block = flags.*route.in_block;
    if (line == route.names.opening) {
      in_block = true;
      return &route;
    }
    if (line == route.names.closing) {
      in_block = false;
      return &route;
    }
    if (in_block) {
      return &route;
    }
  }
  return nullptr;
}

bool iso_date(std::string_view value) {
  if (value.size() != 10 || value[4] != '-' || value[7] != '-') {
    return false;
  }
  for (const std::size_t at : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (value[at] < '0' || value[at] > '9') {
      return false;
    }
  }
  const int month = (value[5] - '0') * 10 + (value[6] - '0');
  const int day = (value[8] - '0') * 10 + (value[9] - '0');
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

std::optional<long long> whole_number(std::string_view value) {
  long long number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc() || end != value.data() + value.size() || value.empty()) {
    return std::nullopt;
  }
  return number;
}

constexpr std::string_view page_keys[] = {"title", "description", "date", "order", "menu"};

// The key and value of a setting line ("@@order 3"); no key when the line is none.
std::pair<std::string_view, std::string_view> split_setting(std::string_view line) {
  if (!line.starts_with("@@")) {
    return {};
  }
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) {
    return {line.substr(2), std::string_view()};
  }
  return {line.substr(2, blank - 2), line.substr(blank + 1)};
}

void take_page_setting(std::string_view line, page_facts& facts) {
  if (!page_setting_problem(line).empty()) {
    return;
  }
  const auto [key, value] = split_setting(line);
  if (key == "title") {
    facts.title = value;
  } else if (key == "description") {
    facts.description = value;
  } else if (key == "date") {
    facts.date = value;
  } else if (key == "order") {
    facts.order = whole_number(value);
  } else if (key == "menu") {
    facts.menu = value == "true";
  }
}

// Reads the lines of `text` that start with "@": only they open or close blocks, or set a key.
// The '@' signs are found many bytes at a time; one inside a line is passed over.
template <typename Take>
void for_each_command_line(std::string_view text, Take take) {
  for (std::size_t at = text.find('@'); at != std::string_view::npos; at = text.find('@', at + 1)) {
    if (at > 0 && text[at - 1] != '\n') {
      continue;
    }
    const std::size_t end = std::min(text.find('\n', at), text.size());
    take(without_carriage_return(text.substr(at, end - at)));
    at = end;
  }
}

}  // namespace

page_facts read_page_facts(std::string_view text) {
  page_facts facts;
  block_flags flags;
  bool in_page = false;
  bool title_found = false;
  std::string title_text;
  for_each_command_line(text, [&](std::string_view line) {
    if (takes_page_line(line, in_page, flags != block_flags{})) {
      take_page_setting(line, facts);
      return;
    }
    // A setting line opens and closes nothing: it goes to the first open block in routing
    // order, which is the title block whenever that one is open.
    const bool in_title =
        line.starts_with("@@") ? flags.title : follow_route(line, flags) == &block_routes[0];
    if (title_found || !in_title) {
      return;
    }
    if (line == title_block.opening) {
      title_text = title_template_config{}.text;
    } else if (line == title_block.closing) {
      title_found = true;
    } else if (line.starts_with("@@text ")) {
      title_text = line.substr(7);
    }
  });
  if (facts.title.empty() && title_found) {
    facts.title = title_text;
  }
  return facts;
}

bool takes_page_line(std::string_view line, bool& in_page, bool other_open) {
  if (in_page) {
    in_page = line != page_block.closing;
    return true;
  }
  if (!other_open && line == page_block.opening) {
    in_page = true;
    return true;
  }
  return false;
}

std::string page_setting_problem(std::string_view line) {
  if (line == page_block.opening || line == page_block.closing || line.empty()) {
    return "";
  }
  if (!line.starts_with("@@")) {
    std::string problem(1, '"');
    return problem.append(line).append("\" is no setting of @page and is ignored");
  }
  const auto [key, value] = split_setting(line);
  const std::vector<std::string_view> keys(std::begin(page_keys), std::end(page_keys));
  if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
    const std::string_view near = nearest_name(key, keys);
    return std::string("@@") + std::string(key) + " is no setting of @page" +
           (near.empty() ? "" : std::string("; did you mean @@") + std::string(near) + "?");
  }
  if (key == "date" && !iso_date(value)) {
    return std::string("@@date must be a date such as 2026-12-07, not \"") + std::string(value) +
           "\"";
  }
  if (key == "order" && !whole_number(value)) {
    return std::string("@@order must be a whole number, not \"") + std::string(value) + "\"";
  }
  if (key == "menu" && value != "true" && value != "false") {
    return std::string("@@menu must be true or false, not \"") + std::string(value) + "\"";
  }
  return "";
}
