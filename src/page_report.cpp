#include "page_report.h"

#include "page_frame.h"
#include "utils.h"

namespace fs = std::filesystem;

console_report page_report(page_outcome outcome, const std::string& command_file,
                           const std::string& relative, const std::string& page_path) {
  switch (outcome) {
    case page_outcome::compiled:
      return {"", "Compiled: " + relative + " -> " + page_path + "\n", true};
    case page_outcome::not_opened:
      return {"Error: Could not open file " + command_file + "\n", "", false};
    case page_outcome::not_created:
      return {"Error: Could not create output HTM " + page_path + "\n", "", false};
    case page_outcome::not_read:
      return {"Error: Could not read file " + command_file + "\n", "", false};
    case page_outcome::not_written:
      break;
  }
  return {"Error: Could not write output HTM " + page_path + "\n", "", false};
}

std::string page_replaced_warning(const std::string& page_path, const std::string& command_file) {
  return "Warning: " + page_path +
         " was already written in this run and is replaced by the page compiled from " +
         command_file + "\n";
}

fs::path page_place_of(const site_frame* site, const fs::path& relative) {
  return site ? page_place(*site, relative) : fs::path(relative).replace_extension(".htm");
}

std::string page_path_in(const std::string& output, const std::string& relative,
                         const site_frame* site) {
  if (site != nullptr) {
    return (fs::path(output) / page_place_of(site, relative)).native();
  }
  // As replace_extension would: the extension of the file name, if any, becomes ".htm".
  const std::string_view name = std::string_view(relative).substr(relative.rfind('/') + 1);
  std::string path = output;
  if (!path.empty() && !path.ends_with('/')) {
    path += '/';
  }
  path.append(relative, 0, relative.size() - file_extension(name).size());
  return path += ".htm";
}
