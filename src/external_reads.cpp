#include "external_reads.h"

#include <fstream>

#include "utils.h"

namespace fs = std::filesystem;

namespace {

// The stream slot that holds a page's external reads.
int reads_slot() {
  static const int slot = std::ios_base::xalloc();
  return slot;
}

const external_reads& reads_of(std::ostream& page) {
  static const external_reads none;
  const void* reads = page.pword(reads_slot());
  return reads != nullptr ? *static_cast<const external_reads*>(reads) : none;
}

fs::path external_file_path(const std::string& src, const std::string& folder) {
  fs::path path(src);
  if (path.is_relative() && !folder.empty()) {
    return fs::path(folder) / path;
  }
  return path;
}

bool read_lines(const fs::path& path, block_lines& lines) {
  // Opening a folder would yield nothing, a FIFO could block forever and a device never end.
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    return false;
  }
  std::ifstream file(path);
  if (!file.is_open()) {
    return false;
  }
  std::string line;
  while (std::getline(file, line)) {
    add_copy(lines, without_carriage_return(line));
  }
  return true;
}

}  // namespace

external_reads_scope::external_reads_scope(std::ostream& page, const external_reads& reads)
    : page_(page), saved_(page.pword(reads_slot())) {
  page.pword(reads_slot()) = const_cast<external_reads*>(&reads);
}

external_reads_scope::~external_reads_scope() {
  page_.pword(reads_slot()) = saved_;
}

bool load_external_lines(const std::string& src, std::string_view kind, block_lines& lines,
                         std::ostream& page, std::ostream& errors) {
  lines.clear();
  const external_reads& reads = reads_of(page);
  const fs::path path = external_file_path(src, reads.folder);
  if (reads.settle) {
    reads.settle();
  }
  if (reads.observe) {
    reads.observe(path);
  }
  if (read_lines(path, lines)) {
    return true;
  }
  errors << "Error: Could not open external " << kind << " file '" << path.string() << "'\n";
  return false;
}
