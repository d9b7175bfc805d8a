// The floor under a run's file-system work: every command file read and its page written, every
// other file copied, with no compiling at all. The pages' bytes come from a site an earlier run
// built, loaded before the clock starts. The tree is walked and its folders made on one thread;
// the files of each folder are then handled by THREADS threads (1 unless given), each taking the
// next folder, every file opened by its name in descriptors of its folders.
//
//   build/bench/file_floor proj out site [THREADS]
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using pages = std::unordered_map<std::string, std::string>;  // by place below the site

std::string read_whole(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  fstat(fd, &status);
  std::string text(static_cast<std::size_t>(status.st_size), '\0');
  const ssize_t got = read(fd, text.data(), text.size());
  close(fd);
  text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return text;
}

bool ends_with(const std::string& name, std::string_view end) {
  return name.ends_with(end);
}

// Calls `visit(name, is_folder)` for every entry of `folder` but the dot entries.
template <typename Visit>
void each_entry(const std::string& folder, Visit visit) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    return;
  }
  while (const dirent* entry = readdir(listing)) {
    if (entry->d_name[0] != '.') {
      visit(std::string(entry->d_name), entry->d_type == DT_DIR);
    }
  }
  closedir(listing);
}

void load_pages(const std::string& folder, const std::string& below, pages& found) {
  each_entry(folder, [&](const std::string& name, bool is_folder) {
    if (is_folder) {
      load_pages(folder + "/" + name, below + name + "/", found);
    } else if (ends_with(name, ".htm")) {
      found[below + name] = read_whole(folder + "/" + name);
    }
  });
}

// One folder's files, as the walk found them.
struct folder_files {
  std::string input;
  std::string output;
  std::string below;  // the folder's place below the input folder, with a trailing '/'
  std::vector<std::string> names;
};

void walk(const std::string& input, const std::string& output, const std::string& below,
          std::vector<folder_files>& folders) {
  mkdir(output.c_str(), 0777);
  folders.push_back({input, output, below, {}});
  const std::size_t mine = folders.size() - 1;
  each_entry(input, [&](const std::string& name, bool is_folder) {
    if (is_folder) {
      walk(input + "/" + name, output + "/" + name, below + name + "/", folders);
    } else {
      folders[mine].names.push_back(name);
    }
  });
}

void write_page(int input, int output, const std::string& name, const std::string& page,
                const std::string& html) {
  thread_local std::vector<char> buffer(1 << 20);
  const int in = openat(input, name.c_str(), O_RDONLY | O_CLOEXEC);
  while (read(in, buffer.data(), buffer.size()) > 0) {
  }
  close(in);
  const int out = openat(output, page.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (write(out, html.data(), html.size()) != static_cast<ssize_t>(html.size())) {
    std::perror(page.c_str());
  }
  close(out);
}

void copy_file(int input, int output, const std::string& name) {
  const int in = openat(input, name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  fstat(in, &status);
  const int out = openat(output, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  sendfile(out, in, nullptr, static_cast<std::size_t>(status.st_size));
  close(out);
  close(in);
}

void build_folder(const folder_files& folder, const pages& built) {
  const int input = open(folder.input.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  const int output = open(folder.output.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (const std::string& name : folder.names) {
    if (ends_with(name, ".orv")) {
      const std::string page = name.substr(0, name.size() - 4) + ".htm";
      const auto html = built.find(folder.below + page);
      write_page(input, output, name, page, html == built.end() ? std::string() : html->second);
    } else {
      copy_file(input, output, name);
    }
  }
  close(output);
  close(input);
}

void build(const std::string& input, const std::string& output, const pages& built,
           unsigned threads) {
  std::vector<folder_files> folders;
  walk(input, output, "", folders);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < folders.size(); i = next++) {
      build_folder(folders[i], built);
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < threads; ++i) {
    helpers.emplace_back(work);
  }
  work();
  for (std::thread& helper : helpers) {
    helper.join();
  }
}

double seconds(const timeval& time) {
  return time.tv_sec + time.tv_usec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: %s PROJ OUT SITE [THREADS]\n", argv[0]);
    return 2;
  }
  const unsigned threads = argc == 5 ? static_cast<unsigned>(std::atoi(argv[4])) : 1;
  pages built;
  load_pages(argv[3], "", built);
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  build(argv[1], argv[2], built, threads < 1 ? 1 : threads);
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  getrusage(RUSAGE_SELF, &after);
  std::printf("wall %.3f s, user %.3f s, sys %.3f s\n", wall.count(),
              seconds(after.ru_utime) - seconds(before.ru_utime),
              seconds(after.ru_stime) - seconds(before.ru_stime));
}
