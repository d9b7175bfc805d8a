// The mapping from the target of an HTTP request to a file below the served folder.
#pragma once

#include <string>
#include <string_view>

// Where a request target leads: a path below the served folder, or a refusal.
struct request_path {
  int refusal = 0;     // 0 when `path` holds the answer, else the HTTP status to answer (400, 404)
  std::string path;    // '/'-separated, relative, without "." or ".." parts; empty for the top
  bool folder = true;  // the target named a folder (it ended in '/', "." or ".."), or the top
};

// Maps `target` (as the request line carries it, query included, absolute form such as
// "http://host/path" too): cuts the scheme, the host and the query, decodes %XX
// exactly once and collapses "//", "." and ".."; refuses NUL bytes, backslashes, malformed escapes,
// drive prefixes such as "C:" and any ".." that would climb above the top (400), and a target that
// does not start with '/' (400).
request_path map_request_path(std::string_view target);
