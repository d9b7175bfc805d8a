#include "job_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "within_time.h"

namespace {

using namespace std::chrono_literals;

// A job wakes its waiter only when someone waits: a waiter that comes just before the job ends,
// just after, or long before must each be woken, and never miss the end.
TEST(JobFuture, EveryWaiterLearnsThatItsJobEnded) {
  EXPECT_TRUE(finishes_within(20s, [] {
    job_pool pool(2);
    job_batch batch{pool, 4, {}};
    std::vector<job_future<int>> results;
    for (int i = 0; i < 2000; ++i) {
      results.push_back(add_job(batch, [i] {
        if (i % 97 == 0) {
          std::this_thread::sleep_for(1ms);
        }
        return i;
      }));
    }
    hand_over(batch);
    for (int i = 0; i < 2000; ++i) {
      if (i % 3 == 0) {
        results[i].wait();
      }
      if (results[i].get() != i) {
        std::abort();
      }
    }
  }));
}

}  // namespace
