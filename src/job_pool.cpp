#include "job_pool.h"

#include <linux/close_range.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <system_error>

namespace {

// Marks the calling thread as batch work: woken by a new job, it waits for a free core or the end
// of the current time slice rather than preempting the thread that handed the job over (the page
// compiler, which decides how long a run takes). Where this cannot be set, nothing changes.
void run_as_batch_work() {
  sched_param parameters{};
  pthread_setschedparam(pthread_self(), SCHED_BATCH, &parameters);
}

// Gives the calling thread a descriptor table of its own, holding only the standard streams.
// Threads that share one table pay for it on every open, read, write and close: the kernel counts
// references to each file and locks the table across cores, about a twentieth of a run's CPU.
// A job therefore closes every descriptor it opens, and never hands one to another thread.
// Where this cannot be done, the thread goes on sharing the table.
void use_own_descriptors() {
  close_range(3, ~0U, CLOSE_RANGE_UNSHARE);
}

void run_jobs(job_pool& pool) {
  run_as_batch_work();
  use_own_descriptors();
  std::unique_lock lock(pool.mutex);
  while (true) {
    pool.wake.wait(lock, [&] { return pool.closing || !pool.jobs.empty(); });
    if (pool.jobs.empty()) {
      return;
    }
    std::function<void()> job = std::move(pool.jobs.front());
    pool.jobs.pop_front();
    lock.unlock();
    job();
    lock.lock();
  }
}

}  // namespace

job_pool::job_pool(unsigned thread_count) {
  // A thread that cannot be started leaves its share to the others, or to the caller.
  try {
    for (unsigned i = 0; i < thread_count; ++i) {
      threads.emplace_back([this] { run_jobs(*this); });
    }
  } catch (const std::system_error&) {
  }
}

job_pool::~job_pool() {
  {
    const std::lock_guard lock(mutex);
    closing = true;
  }
  wake.notify_all();
  for (std::thread& thread : threads) {
    thread.join();
  }
}

void hand_over(job_batch& batch) {
  if (batch.jobs.empty()) {
    return;
  }
  {
    const std::lock_guard lock(batch.pool.mutex);
    batch.pool.jobs.emplace_back([jobs = std::move(batch.jobs)] {
      for (const std::function<void()>& job : jobs) {
        job();
      }
    });
  }
  batch.jobs.clear();
  batch.pool.wake.notify_one();
}

unsigned usable_cores() {
  cpu_set_t cores;
  if (sched_getaffinity(0, sizeof cores, &cores) != 0) {
    return 1;
  }
  return static_cast<unsigned>(CPU_COUNT(&cores));
}

unsigned helper_threads(unsigned wanted) {
  return usable_cores() > 1 ? wanted : 0;
}
