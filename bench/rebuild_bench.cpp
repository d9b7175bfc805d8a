// Times incremental rebuilds in a project folder: from a saved edit of one page that changes no
// carried state to the rebuilt page on disk, over a series of edits spread across the site; and
// the memory that the remembered state costs per page.
//
//   rebuild_bench FOLDER [EDITS] [findings]   (FOLDER holds proj/, as written by make_corpus.py)
//
// With "findings", each rebuild also finds the check findings of the pages it reaches, as serve
// does.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "generator.h"
#include "serve_findings.h"
#include "site_rebuild.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> command_files() {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator("proj")) {
    if (entry.is_regular_file() && entry.path().extension() == ".orv") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

double percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
  return values[at];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: rebuild_bench FOLDER [EDITS]\n";
    return 2;
  }
  fs::current_path(argv[1]);
  const int edits = argc > 2 ? std::stoi(argv[2]) : 50;
  const bool findings = argc > 3 && std::string(argv[3]) == "findings";
  const std::string timestamp = footer_time_text(std::nullopt);
  const std::vector<fs::path> pages = command_files();

  // Switched first, the console streams keep the redirection below through the run.
  std::ios::sync_with_stdio(false);
  rebuild_state state;
  const std::size_t heap_before = mallinfo2().uordblks;
  {
    std::ostringstream quiet;
    std::streambuf* saved = std::cout.rdbuf(quiet.rdbuf());
    if (build_and_remember(state, timestamp) != 0) {
      std::cout.rdbuf(saved);
      std::cerr << "the first build failed\n";
      return 1;
    }
    std::cout.rdbuf(saved);
  }
  kept_findings kept;
  if (findings) {
    find_everything(kept);
  }
  const std::size_t heap_after = mallinfo2().uordblks;
  // Files changed within a few milliseconds of a look are compiled again whatever their stamp;
  // an author's edits come further apart.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  std::vector<double> milliseconds;
  std::size_t compiled = 0;
  for (int edit = 0; edit < edits; ++edit) {
    const fs::path& page = pages[(static_cast<std::size_t>(edit) * 7919) % pages.size()];
    {
      std::ofstream file(page, std::ios::app);
      file << "an edit outside every block, number " << edit << "\n";
    }
    const auto saved = std::chrono::steady_clock::now();
    state.changed = {page};
    state.changed_known = true;
    std::vector<std::string> found;
    const page_looks looks =
        findings ? looks_for_rebuild(kept, state.changed, found) : page_looks{};
    const rebuild_report report = rebuild_site(state, true, timestamp, findings ? &looks : nullptr);
    const auto done = std::chrono::steady_clock::now();
    if (!report.succeeded || report.full) {
      std::cerr << "rebuild " << edit << " was not incremental or failed\n";
      return 1;
    }
    compiled += report.pages_compiled;
    milliseconds.push_back(std::chrono::duration<double, std::milli>(done - saved).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
  std::printf("| %zu | %d | %.2f | %.2f | %.1f | %.0f |\n", pages.size(), edits,
              percentile(milliseconds, 0.5), percentile(milliseconds, 0.95),
              static_cast<double>(compiled) / edits,
              static_cast<double>(heap_after - heap_before) / static_cast<double>(pages.size()));
  return 0;
}
