// The fuzz target of the request path mapping: whatever the target, an accepted path names a file
// below the served folder, and a refusal carries no path.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "request_path.h"

namespace {

bool stays_below_the_top(const std::string& path) {
  if (path.starts_with('/') || path.find('\0') != std::string::npos ||
      path.find('\\') != std::string::npos) {
    return false;
  }
  const std::filesystem::path normal = (std::filesystem::path("/top") / path).lexically_normal();
  const std::filesystem::path relative = normal.lexically_relative("/top");
  return !relative.empty() && *relative.begin() != "..";
}

bool holds_no_dot_parts(std::string_view path) {
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if ((part.empty() && !path.empty()) || part == "." || part == "..") {
      return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view target(reinterpret_cast<const char*>(data), size);
  const request_path mapped = map_request_path(target);
  if (mapped.refusal != 0) {
    if (!mapped.path.empty() || (mapped.refusal != 400 && mapped.refusal != 404)) {
      std::abort();
    }
    return 0;
  }
  if (!stays_below_the_top(mapped.path) || !holds_no_dot_parts(mapped.path)) {
    std::abort();
  }
  return 0;
}
