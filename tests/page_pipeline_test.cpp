#include "page_pipeline.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "console_capture.h"
#include "within_time.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

TEST(PipelineWindows, StayWithinTheBudgetAndNeverClose) {
  std::vector<std::size_t> budgets{SIZE_MAX};
  for (std::size_t spare = 0; spare <= 300; ++spare) {
    budgets.push_back(spare);
  }
  for (const std::size_t spare : budgets) {
    const pipeline_windows windows = pipeline_windows_for(spare);
    EXPECT_LE(pipeline_descriptors(windows), spare) << spare;
    EXPECT_GE(windows.pages_per_batch, 1u) << spare;
    EXPECT_EQ(windows.helpers > 0, spare >= 8) << spare;
  }
  EXPECT_EQ(64u, pipeline_windows_for(SIZE_MAX).helpers);
}

// A project of small pages in a scratch folder, compiled by the pipeline in a child process.
class PagePipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder = (fs::temp_directory_path() / "orvello-pipeline-XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(folder.data()));
    root = folder;
    fs::create_directories(root / "proj");
    fs::create_directories(root / "site");
    for (std::size_t i = 0; i < pages; ++i) {
      std::string name = "p";
      name += std::to_string(i);
      std::ofstream(root / "proj" / (name + ".orv")) << "@title\nPage " << i << "\n@end_title\n";
    }
  }
  void TearDown() override { fs::remove_all(root); }

  // Whether the pipeline compiled every page within the time limit.
  bool compiles_every_page(const pipeline_windows& windows, const page_pipeline_hooks& hooks,
                           unsigned compilers) {
    const page_pipeline_request request{(root / "proj").string(),
                                        (root / "site").string(),
                                        {".orv"},
                                        windows,
                                        nullptr,
                                        nullptr,
                                        compilers};
    return finishes_within(60s, [&] {
      text_sink out(nullptr, true);
      const stream_redirect redirect(std::cout, &out);
      const bool ok = run_page_pipeline(request, hooks);
      const std::size_t lines =
          static_cast<std::size_t>(std::count(out.text.begin(), out.text.end(), '\n'));
      if (!ok || lines != pages) {
        _exit(1);
      }
    });
  }

  static constexpr std::size_t pages = 300;
  fs::path root;
};

// Pages written slowly make the walk's thread wait for batches the helpers hold: whatever the
// windows, nothing it waits for may be left in its own hands.
TEST_F(PagePipeline, SlowWriterAtSmallWindowsStillFinishes) {
  page_pipeline_hooks slow;
  slow.before_write = [] { std::this_thread::sleep_for(200us); };
  const std::vector<pipeline_windows> table{
      {8, 16, 0},  // every batch at its turn as soon as it is handed over
      {8, 1, 1},   // one page a batch, one batch ahead
      {1, 64, 8},  // more pages ahead than the project has
      pipeline_windows_for(32),
      pipeline_windows_for(60),
      pipeline_windows_for(0),
  };
  for (const pipeline_windows& windows : table) {
    for (const unsigned compilers : {0u, 1u, 3u}) {
      EXPECT_TRUE(compiles_every_page(windows, slow, compilers))
          << "helpers " << windows.helpers << ", pages per batch " << windows.pages_per_batch
          << ", batches ahead " << windows.batches_ahead << ", compilers " << compilers;
    }
  }
}

}  // namespace
