#include "site_settings.h"

#include <toml++/toml.h>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>
#include <variant>

#include "near_names.h"

namespace fs = std::filesystem;

namespace {

// A finding at a place of the file, kept to sort the findings into file order.
struct finding {
  std::size_t line;
  std::size_t column;
  std::string message;
};

using string_check = std::string (*)(std::string& value, const fs::path& input);

// One key of the file: where it lives, the member it fills and how its value is checked.
struct key_rule {
  std::string_view table;
  std::string_view key;
  std::variant<std::string site_settings::*, bool site_settings::*> field;
  string_check check = nullptr;  // an error message, empty when the value can be used
};

std::string language_tag(std::string& value, const fs::path&) {
  const bool usable = !value.empty() && std::isalpha(static_cast<unsigned char>(value[0])) &&
                      std::all_of(value.begin(), value.end(), [](char c) {
                        return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
                      });
  return usable ? "" : "must be a language tag such as \"en\" or \"fr-CA\"";
}

std::string address(std::string& value, const fs::path&) {
  const bool web = value.starts_with("https://") || value.starts_with("http://");
  if (!web || value.find_first_of(" \t\r\n\"'<>") != std::string::npos) {
    return "must be the address the site is served from, such as \"https://example.org/\"";
  }
  if (!value.ends_with('/')) {
    value += '/';
  }
  return "";
}

std::string extension(std::string& value, const fs::path&) {
  if (value != "htm" && value != "html") {
    return "must be \"htm\" or \"html\"";
  }
  value = "." + value;
  return "";
}

std::string theme(std::string& value, const fs::path&) {
  return value == "auto" || value == "light" || value == "dark"
             ? ""
             : "must be \"auto\", \"light\" or \"dark\"";
}

std::string author_sheet(std::string& value, const fs::path& input) {
  const fs::path path(value);
  const bool inside =
      !value.empty() && path.is_relative() &&
      std::none_of(path.begin(), path.end(), [](const fs::path& part) { return part == ".."; });
  if (!inside || path == "main.css") {
    return "must name a stylesheet inside " + input.string() + "/ other than main.css";
  }
  std::error_code error;
  if (!fs::is_regular_file(input / path, error)) {
    return "names " + (input / path).string() + ", which is not there";
  }
  return "";
}

const std::vector<key_rule>& key_rules() {
  static const std::vector<key_rule> rules{
      {"site", "title", &site_settings::title},
      {"site", "language", &site_settings::language, language_tag},
      {"site", "description", &site_settings::description},
      {"site", "base_url", &site_settings::base_url, address},
      {"pages", "extension", &site_settings::page_extension, extension},
      {"style", "theme", &site_settings::theme, theme},
      {"style", "stylesheet", &site_settings::stylesheet, author_sheet},
      {"footer", "text", &site_settings::footer_text},
      {"footer", "date", &site_settings::footer_date},
      {"navigation", "menu", &site_settings::menu},
      {"navigation", "breadcrumbs", &site_settings::breadcrumbs},
      {"navigation", "page_turn", &site_settings::page_turn},
      {"markdown", "raw_html", &site_settings::markdown_raw_html},
  };
  return rules;
}

std::vector<std::string_view> table_names() {
  std::vector<std::string_view> names;
  for (const key_rule& rule : key_rules()) {
    if (std::find(names.begin(), names.end(), rule.table) == names.end()) {
      names.push_back(rule.table);
    }
  }
  return names;
}

std::vector<std::string_view> key_names(std::string_view table) {
  std::vector<std::string_view> names;
  for (const key_rule& rule : key_rules()) {
    if (rule.table == table) {
      names.push_back(rule.key);
    }
  }
  return names;
}

std::string near(std::string_view typed, const std::vector<std::string_view>& names,
                 std::string_view before, std::string_view after) {
  const std::string_view found = nearest_name(typed, names);
  return found.empty() ? ""
                       : std::string("; did you mean ") + std::string(before) + std::string(found) +
                             std::string(after) + "?";
}

std::string type_name(toml::node_type type) {
  switch (type) {
    case toml::node_type::string:
      return "a string";
    case toml::node_type::boolean:
      return "true or false";
    case toml::node_type::integer:
      return "a whole number";
    case toml::node_type::floating_point:
      return "a number";
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "an array";
    default:
      return "a date or time";
  }
}

finding at(const toml::source_region& where, std::string message) {
  return {where.begin.line, where.begin.column, std::move(message)};
}

void take_value(const key_rule& rule, const toml::key& key, const toml::node& value,
                const fs::path& input, site_settings& settings, std::vector<finding>& found) {
  std::string name = "[";
  name.append(rule.table).append("] ").append(rule.key);
  if (auto* flag = std::get_if<bool site_settings::*>(&rule.field)) {
    if (!value.is_boolean()) {
      found.push_back(
          at(key.source(), name + " must be true or false, not " + type_name(value.type())));
      return;
    }
    settings.** flag = *value.value<bool>();
    return;
  }
  if (!value.is_string()) {
    found.push_back(at(key.source(), name + " must be a string, not " + type_name(value.type())));
    return;
  }
  std::string text = *value.value<std::string>();
  const std::string problem = rule.check ? rule.check(text, input) : "";
  if (!problem.empty()) {
    found.push_back(at(value.source(), name + " " + problem));
    return;
  }
  settings.*std::get<std::string site_settings::*>(rule.field) = std::move(text);
}

void take_table(std::string_view table_name, const toml::table& table, const fs::path& input,
                site_settings& settings, std::vector<finding>& found) {
  const std::vector<std::string_view> names = key_names(table_name);
  for (auto&& [key, value] : table) {
    const std::string_view key_text = key.str();  // clang's C++20 captures no structured binding
    const auto rule = std::find_if(key_rules().begin(), key_rules().end(), [&](const key_rule& r) {
      return r.table == table_name && r.key == key_text;
    });
    if (rule == key_rules().end()) {
      found.push_back(at(key.source(), std::string("unknown key '") + std::string(key.str()) +
                                           "' in [" + std::string(table_name) + "]" +
                                           near(key.str(), names, "'", "'")));
    } else {
      take_value(*rule, key, value, input, settings, found);
    }
  }
}

void take_document(const toml::table& document, const fs::path& input, site_settings& settings,
                   std::vector<finding>& found) {
  const std::vector<std::string_view> tables = table_names();
  for (auto&& [key, value] : document) {
    const bool known = std::find(tables.begin(), tables.end(), key.str()) != tables.end();
    if (!known) {
      found.push_back(at(key.source(), std::string("unknown table [") + std::string(key.str()) +
                                           "]" + near(key.str(), tables, "[", "]")));
    } else if (!value.is_table()) {
      found.push_back(at(key.source(), std::string("[") + std::string(key.str()) +
                                           "] must be a table, not " + type_name(value.type())));
    } else {
      take_table(key.str(), *value.as_table(), input, settings, found);
    }
  }
}

std::string error_line(const finding& found) {
  return std::string(settings_file_name) + ":" + std::to_string(found.line) + ":" +
         std::to_string(found.column) + ": error: " + found.message;
}

}  // namespace

settings_reading parse_site_settings(std::string_view text, const fs::path& input) {
  std::vector<finding> found;
  site_settings settings;
  try {
    const toml::table document = toml::parse(text, settings_file_name);
    take_document(document, input, settings, found);
  } catch (const toml::parse_error& error) {
    found.push_back(at(error.source(), std::string(error.description())));
  }
  settings_reading reading;
  std::stable_sort(found.begin(), found.end(), [](const finding& a, const finding& b) {
    return std::pair(a.line, a.column) < std::pair(b.line, b.column);
  });
  for (const finding& each : found) {
    reading.errors.push_back(error_line(each));
  }
  if (found.empty()) {
    reading.settings = std::move(settings);
  }
  return reading;
}

bool settings_file_present() {
  std::error_code error;
  // A link that leads nowhere is there too: a file meant to be used, which cannot be. So is one
  // whose type cannot be learned (none).
  return fs::symlink_status(fs::path(settings_file_name), error).type() != fs::file_type::not_found;
}

settings_reading read_site_settings(const fs::path& input) {
  if (!settings_file_present()) {
    return {};
  }
  std::error_code error;
  std::ifstream file{std::string(settings_file_name)};
  std::ostringstream text;
  text << file.rdbuf();
  // A folder opens, and reads as an empty file would.
  if (!fs::is_regular_file(settings_file_name, error) || !file.is_open() || file.bad()) {
    return {std::nullopt,
            {std::string(settings_file_name) + ":1:1: error: cannot be read as a file"}};
  }
  return parse_site_settings(text.str(), input);
}
