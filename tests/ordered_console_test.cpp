#include "ordered_console.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "within_time.h"

namespace {

using namespace std::chrono_literals;

// A report whose job is slow and still gathered in a batch, followed by more finished reports than
// the window holds: the window must hand the batch over before it waits for that report.
TEST(OrderedReports, WaitingForAGatheredJobHandsItOverFirst) {
  for (const std::size_t limit : {1u, 4u, 16u, 64u}) {
    EXPECT_TRUE(finishes_within(10s,
                                [limit] {
                                  job_pool pool(1);
                                  job_batch batch{pool, 1000, {}};
                                  ordered_reports reports;
                                  reports.limit = limit;
                                  reports.hand_over_gathered = [&batch] { hand_over(batch); };
                                  add_report(reports, add_job(batch, [] {
                                               std::this_thread::sleep_for(2ms);
                                               return console_report{};
                                             }));
                                  for (std::size_t i = 0; i <= limit; ++i) {
                                    add_report(reports, console_report{});
                                  }
                                  print_all_reports(reports);
                                }))
        << "limit " << limit;
  }
}

}  // namespace
