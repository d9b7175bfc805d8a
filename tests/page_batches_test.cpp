#include "page_batches.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "within_time.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

// A batch is prepared by exactly one of the threads that try to take it, whoever comes first, and
// the walk's thread waiting for it learns when it is prepared; a try on a batch still being
// gathered, as a job left from an earlier round makes, does nothing.
TEST(PageBatch, PreparedOnceByWhoeverTakesItFirst) {
  std::string folder = (fs::temp_directory_path() / "orvello-batch-XXXXXX").string();
  ASSERT_NE(nullptr, mkdtemp(folder.data()));
  const fs::path root = folder;
  fs::create_directories(root / "site");
  std::ofstream(root / "p.orv") << "@title\nPage\n@end_title\n";
  EXPECT_TRUE(finishes_within(60s, [&] {
    ahead_rules rules;
    rules.before_write = [] { std::this_thread::sleep_for(20us); };
    page_batch batch;
    batch.pages.resize(1);
    batch.count = 1;
    page_ahead& page = batch.pages[0];
    page.path = (root / "p.orv").string();
    page.relative = "p.orv";
    page.page_path = (root / "site/p.htm").string();
    for (int round = 0; round < 300; ++round) {
      fs::remove(page.page_path);
      batch.state = batch_state::gathering;
      std::atomic<int> takers = take_and_prepare(batch, rules) ? 1 : 0;
      batch.state.store(batch_state::handed_over, std::memory_order_release);
      std::vector<std::thread> helpers;
      for (int i = 0; i < 3; ++i) {
        helpers.emplace_back([&] { takers += take_and_prepare(batch, rules) ? 1 : 0; });
      }
      if (take_and_prepare(batch, rules)) {
        ++takers;
      } else {
        wait_prepared(batch);
      }
      if (!page.written || batch.failure) {
        std::abort();
      }
      for (std::thread& helper : helpers) {
        helper.join();
      }
      if (takers != 1) {
        std::abort();
      }
    }
  }));
  fs::remove_all(root);
}

}  // namespace
