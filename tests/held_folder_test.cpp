#include "held_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What opening a path came to: the file opened, or the error.
struct opened {
  ino_t inode = 0;
  int error = 0;
  bool operator==(const opened&) const = default;
};

opened outcome_of(int fd) {
  opened result;
  struct stat status {};
  if (fd < 0) {
    result.error = errno;
  } else {
    fstat(fd, &status);
    result.inode = status.st_ino;
  }
  unique_fd closed(fd);
  return result;
}

// Files opened by their names in a held folder are the ones their full paths name, and fail as
// opening their full paths fails, whichever folder was held before.
TEST(HeldFolder, OpensWhatTheFullPathOpens) {
  std::string made = (fs::temp_directory_path() / "orvello-held-XXXXXX").string();
  ASSERT_NE(nullptr, mkdtemp(made.data()));
  const fs::path root = made;
  fs::create_directories(root / "a");
  fs::create_directories(root / "b");
  std::ofstream(root / "a" / "one") << "1";
  std::ofstream(root / "a" / "two") << "2";
  std::ofstream(root / "b" / "three") << "3";
  std::ofstream(root / "file") << "f";
  fs::create_symlink(root / "b" / "three", root / "a" / "link");
  fs::create_directory_symlink(root / "b", root / "to_b");
  const std::vector<std::string> paths{"a/one",  "a/two",      "b/three",  "a/link",
                                       "a/none", "to_b/three", "a/one",    "file/one",
                                       "none/x", "a/one/",     "a/../file"};
  held_folder folder;
  for (const std::string& relative : paths) {
    const std::string path = (root / relative).string();
    const opened expected = outcome_of(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(expected, outcome_of(open_in_folder(&folder, path, O_RDONLY | O_CLOEXEC)))
        << relative;
  }
  const std::string taken = (root / "a" / "one").string();
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
  EXPECT_EQ(outcome_of(open(taken.c_str(), flags, 0666)),
            outcome_of(open_in_folder(&folder, taken, flags, 0666)));
  fs::remove_all(root);
}

}  // namespace
