#include "init_project.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "generator.h"
#include "site_settings.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view starter_page = R"(@title
@@text Welcome to your new site
@end_title
@text
This page is proj/index.orv. Edit it, then run orvello again to rebuild site/.
Every .orv file below proj/ becomes a page; every other file is copied as it is.
@end_text
@link
@@url index.html
@@text Read this page again
@end_link
)";

constexpr std::string_view starter_settings =
    R"(# The settings of this site; docs/settings.md describes every key. Without this file
# Orvello builds plain pages, as it did before settings existed.

[site]
title = "My site"
language = "en"
description = "A site made with Orvello."
# Where the site will be served: adds canonical links, sitemap.xml and feed.xml.
# base_url = "https://example.org/"

[pages]
extension = "html"   # "htm" or "html": hosts look for index.html

[style]
theme = "auto"       # "auto" follows the reader's system; or "light", "dark"
# stylesheet = "extra.css"   # your own rules, a file in proj/, linked after main.css

[footer]
text = ""            # such as "© 2026 Your Name"
date = true          # the build date, as 2026-12-07

[navigation]
menu = true
breadcrumbs = true
page_turn = true     # links to the previous and next page of a folder
)";

bool write_starter_file(const fs::path& path, std::string_view text) {
  std::ofstream file(path);
  file << text;
  file.close();
  if (file.fail()) {
    std::cerr << "orvello: cannot write " << path.string() << "\n";
    return false;
  }
  return true;
}

// Writes the settings beside proj/, unless the folder has some already: they are the author's.
bool write_starter_settings(const fs::path& path) {
  std::error_code error;
  if (fs::exists(fs::symlink_status(path, error))) {
    std::cout << "Kept the existing " << path.string() << "\n";
    return true;
  }
  if (!write_starter_file(path, starter_settings)) {
    return false;
  }
  std::cout << "Created " << path.string() << "\n";
  return true;
}

}  // namespace

int run_init(const std::string& folder) {
  const fs::path proj =
      folder == "." ? fs::path(run_input_folder) : fs::path(folder) / run_input_folder;
  std::error_code error;
  const fs::file_type type = fs::symlink_status(proj, error).type();
  if (type != fs::file_type::not_found) {
    std::cerr << "orvello: " << proj.string()
              << (type == fs::file_type::none ? " cannot be examined: " + error.message()
                                              : " already exists; init never overwrites or merges")
              << "\n";
    return 1;
  }
  error.clear();
  fs::create_directories(folder, error);
  // create_directory fails when something appeared meanwhile, so nothing is ever merged.
  if (error || !fs::create_directory(proj, error)) {
    std::cerr << "orvello: cannot create " << proj.string() << ": "
              << (error ? error.message() : "it already exists") << "\n";
    return 1;
  }
  const fs::path page = proj / "index.orv";
  if (!write_starter_file(page, starter_page)) {
    return 1;
  }
  std::cout << "Created " << page.string() << "\n";
  if (!write_starter_settings(proj.parent_path() / settings_file_name)) {
    return 1;
  }
  std::cout << "Run 'orvello' in " << (folder == "." ? "this folder" : "'" + folder + "'")
            << " to build site/, or 'orvello serve' to preview it while you edit.\n";
  return 0;
}
