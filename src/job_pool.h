// Worker threads that run jobs in the order they were handed in, for the file-system work that
// can go on beside the page compiler.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A queue of jobs and the threads that take them in turn. With no threads, every job runs at once
// in the thread that hands it in, so that a one-core machine pays for no hand-over.
struct job_pool {
  explicit job_pool(unsigned thread_count);
  ~job_pool();  // runs the jobs still queued, then ends the threads
  job_pool(const job_pool&) = delete;
  job_pool& operator=(const job_pool&) = delete;

  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> jobs;
  bool closing = false;
  std::vector<std::thread> threads;
};

// Queues `job` (or runs it at once in a pool without threads); its result, or the exception it
// threw, arrives through the future.
template <typename Job>
auto submit_job(job_pool& pool, Job job) -> std::future<decltype(job())> {
  using result = decltype(job());
  auto task = std::make_shared<std::packaged_task<result()>>(std::move(job));
  std::future<result> done = task->get_future();
  if (pool.threads.empty()) {
    (*task)();
    return done;
  }
  {
    const std::lock_guard lock(pool.mutex);
    pool.jobs.emplace_back([task] { (*task)(); });
  }
  pool.wake.notify_one();
  return done;
}

// The number of cores this process may run on.
unsigned usable_cores();
