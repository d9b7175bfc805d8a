#include "request_path.h"

#include <cctype>
#include <optional>
#include <vector>

#include "percent_escapes.h"

namespace {

constexpr int bad_request = 400;

// The target decoded once; nothing for a malformed escape, a NUL byte or a backslash, raw or
// decoded, which no file below the folder is named with.
std::optional<std::string> decode_once(std::string_view encoded) {
  std::string decoded;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    char c = encoded[i];
    if (c == '%') {
      const std::optional<char> escaped = percent_escape_at(encoded, i);
      if (!escaped) {
        return std::nullopt;
      }
      c = *escaped;
      i += 2;
    }
    if (c == '\0' || c == '\\') {
      return std::nullopt;
    }
    decoded += c;
  }
  return decoded;
}

bool is_drive_prefix(std::string_view part) {
  const char letter = part.empty() ? '\0' : part[0];
  return part.size() == 2 && part[1] == ':' &&
         ((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z'));
}

std::string joined(const std::vector<std::string_view>& parts) {
  std::string path;
  for (const std::string_view part : parts) {
    if (!path.empty()) {
      path += '/';
    }
    path += part;
  }
  return path;
}

bool starts_with_scheme(std::string_view target, std::string_view scheme) {
  if (target.size() < scheme.size()) {
    return false;
  }
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(target[i])) != scheme[i]) {
      return false;
    }
  }
  return true;
}

// The path and query of an absolute-form target ("http://host/path?query"), as a proxy would
// send it; any other target as it is.
std::string_view origin_form(std::string_view target) {
  for (const std::string_view scheme : {"http://", "https://"}) {
    if (starts_with_scheme(target, scheme)) {
      const std::string_view rest = target.substr(scheme.size());
      const std::size_t path = rest.find_first_of("/?#");
      return path == std::string_view::npos || rest[path] != '/' ? "/" : rest.substr(path);
    }
  }
  return target;
}

}  // namespace

request_path map_request_path(std::string_view target) {
  target = origin_form(target);
  target = target.substr(0, target.find_first_of("?#"));
  const std::optional<std::string> decoded = decode_once(target);
  if (!target.starts_with('/') || !decoded) {
    return {bad_request, {}, false};
  }
  std::vector<std::string_view> parts;
  std::string_view part;
  for (std::string_view rest = std::string_view(*decoded).substr(1); !rest.empty();) {
    const std::size_t slash = rest.find('/');
    part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (part == "..") {
      if (parts.empty()) {
        return {bad_request, {}, false};
      }
      parts.pop_back();
    } else if (is_drive_prefix(part) && parts.empty()) {
      return {bad_request, {}, false};
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
  }
  const bool folder = parts.empty() || decoded->ends_with('/') || part == "." || part == "..";
  return {0, joined(parts), folder};
}
