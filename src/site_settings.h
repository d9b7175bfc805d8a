// The site settings: orvello.toml beside proj/, which turns on the page frame of a site (title,
// language, navigation, footer) and says how pages are named and where the site is hosted.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What orvello.toml says; every member starts as the value an empty file gives.
struct site_settings {
  std::string title;  // [site] title
  std::string language = "en";
  std::string description;
  std::string base_url;                 // [site] base_url, always ending in "/" when given
  std::string page_extension = ".htm";  // [pages] extension, with its dot
  std::string theme = "auto";           // [style] theme: "auto", "light" or "dark"
  std::string stylesheet;               // [style] stylesheet: a file below proj/, or none
  std::string footer_text;              // [footer] text
  bool footer_date = true;              // [footer] date
  bool menu = true;                     // [navigation] menu
  bool breadcrumbs = true;              // [navigation] breadcrumbs
  bool page_turn = true;                // [navigation] page_turn (previous and next)
  bool markdown_raw_html = false;       // [markdown] raw_html: raw HTML in Markdown passes through
};

// The name of the settings file, in the folder that holds proj/.
inline constexpr std::string_view settings_file_name = "orvello.toml";

// What reading the settings gave: no settings when the file is absent or cannot be used; then
// `errors` holds one "orvello.toml:LINE:COL: error: ..." line (without a line end) per finding.
struct settings_reading {
  std::optional<site_settings> settings;
  std::vector<std::string> errors;
};

// Reads `text` as the settings file; `input` is the folder that holds the pages (for the
// author's stylesheet, which must be a file in it).
settings_reading parse_site_settings(std::string_view text, const std::filesystem::path& input);

// Reads orvello.toml in the working folder: nothing and no errors when it is not there.
settings_reading read_site_settings(const std::filesystem::path& input);

// True when orvello.toml is in the working folder (whether or not it can be used).
bool settings_file_present();
