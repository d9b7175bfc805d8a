#include "init_project.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "generator.h"

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
@@url index.htm
@@text Read this page again
@end_link
)";

bool write_starter_page(const fs::path& path) {
  std::ofstream page(path);
  page << starter_page;
  page.close();
  if (page.fail()) {
    std::cerr << "orvello: cannot write " << path.string() << "\n";
    return false;
  }
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
  if (!write_starter_page(page)) {
    return 1;
  }
  std::cout << "Created " << page.string() << "\n"
            << "Run 'orvello' in " << (folder == "." ? "this folder" : "'" + folder + "'")
            << " to build site/, or 'orvello serve' to preview it while you edit.\n";
  return 0;
}
