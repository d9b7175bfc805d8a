#include "request_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct mapping {
  std::string target;
  int refusal;
  std::string path;
  bool folder;
};

TEST(MapRequestPath, LeadsBelowTheTopOrRefuses) {
  const std::vector<mapping> table{
      {"", 400, "", false},
      {"/", 0, "", true},
      {"/index.htm", 0, "index.htm", false},
      {"/docs/guide.htm?x=1#top", 0, "docs/guide.htm", false},
      {"/docs", 0, "docs", false},
      {"/docs/", 0, "docs", true},
      {"//docs//./a%20b.htm", 0, "docs/a b.htm", false},
      {"/docs/..", 0, "", true},
      {"/a/b/../c", 0, "a/c", false},
      {"/a/.", 0, "a", true},
      {"/%41%2f%62", 0, "A/b", false},
      {"/%252e%252e/x", 0, "%2e%2e/x", false},
      {"/plus+sign", 0, "plus+sign", false},
      {"/x?/../../etc/passwd", 0, "x", false},
      {"/README", 0, "README", false},
      {"/a/C:/b", 0, "a/C:/b", false},
      {"index.htm", 400, "", false},
      {"http://host/index.htm", 0, "index.htm", false},
      {"HTTPS://host:8000/docs/?x=/..", 0, "docs", true},
      {"http://host", 0, "", true},
      {"http://host?x=1", 0, "", true},
      {"http://host/../etc/passwd", 400, "", false},
      {"ftp://host/index.htm", 400, "", false},
      {"http:/index.htm", 400, "", false},
      {"%2findex.htm", 400, "", false},
      {"/..", 400, "", false},
      {"/../etc/passwd", 400, "", false},
      {"/a/../../etc/passwd", 400, "", false},
      {"/%2e%2e/etc/passwd", 400, "", false},
      {"/%2E%2E%2Fetc%2Fpasswd", 400, "", false},
      {"/a/%2e%2e%2f%2e%2e/etc", 400, "", false},
      {"/..%2f..%2fetc", 400, "", false},
      {"/a\\..\\..\\etc", 400, "", false},
      {"/a%5c..%5cetc", 400, "", false},
      {std::string("/a.txt\0.png", 11), 400, "", false},
      {"/a.txt%00.png", 400, "", false},
      {"/C:/Windows/win.ini", 400, "", false},
      {"/c%3a/x", 400, "", false},
      {"/%", 400, "", false},
      {"/%4", 400, "", false},
      {"/%zz", 400, "", false},
      {"/%4g", 400, "", false},
  };
  for (const mapping& row : table) {
    const request_path mapped = map_request_path(row.target);
    EXPECT_EQ(row.refusal, mapped.refusal) << row.target;
    EXPECT_EQ(row.path, mapped.path) << row.target;
    if (row.refusal == 0) {
      EXPECT_EQ(row.folder, mapped.folder) << row.target;
    }
  }
}

}  // namespace
