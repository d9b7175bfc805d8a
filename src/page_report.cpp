#include "page_report.h"

#include "page_frame.h"

namespace fs = std::filesystem;

console_report page_report(page_outcome outcome, const fs::path& command_file,
                           const fs::path& relative, const fs::path& page_path) {
  switch (outcome) {
    case page_outcome::compiled:
      return {"", "Compiled: " + relative.string() + " -> " + page_path.string() + "\n", true};
    case page_outcome::not_opened:
      return {"Error: Could not open file " + command_file.string() + "\n", "", false};
    case page_outcome::not_created:
      return {"Error: Could not create output HTM " + page_path.string() + "\n", "", false};
    case page_outcome::not_read:
      return {"Error: Could not read file " + command_file.string() + "\n", "", false};
    case page_outcome::not_written:
      break;
  }
  return {"Error: Could not write output HTM " + page_path.string() + "\n", "", false};
}

std::string page_replaced_warning(const fs::path& page_path, const fs::path& command_file) {
  return "Warning: " + page_path.string() +
         " was already written in this run and is replaced by the page compiled from " +
         command_file.string() + "\n";
}

fs::path page_place_of(const site_frame* site, const fs::path& relative) {
  return site ? page_place(*site, relative) : fs::path(relative).replace_extension(".htm");
}
