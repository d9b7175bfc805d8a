// Worker threads that run jobs in the order they were handed in, for the file-system work that
// can go on beside the page compiler.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

// A queue of jobs and the threads that take them in turn. With no threads, every job runs at once
// in the thread that hands it in, so that a one-core machine pays for no hand-over. Each thread
// has a descriptor table of its own (the standard streams only): a job closes what it opens and
// uses no descriptor of another thread.
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

// Jobs gathered on the thread that hands them in and given to the pool as one job: one hand-over
// and at most one wake-up for `size` jobs. A future of a gathered job is only ready once the
// batch is handed over, so hand it over before waiting for one.
struct job_batch {
  job_pool& pool;
  std::size_t size;
  std::vector<std::function<void()>> jobs;
};

// Gives the jobs gathered in `batch` to its pool as one job.
void hand_over(job_batch& batch);

// The states of a job's `done`: still running, ended, and still running with someone waiting.
// Only a job somebody waits for wakes anybody when it ends: a wake-up is a system call.
inline constexpr int job_running = 0;
inline constexpr int job_ended = 1;
inline constexpr int job_awaited = 2;

// What a job left: its result or the exception it threw, once `done` is job_ended.
template <typename T>
struct job_state {
  std::atomic<int> done{job_running};
  std::optional<T> value;
  std::exception_ptr error;
};

// Nothing, as the result of a job that returns nothing.
struct no_result {};

// The result of a job, to be waited for. Unlike std::future it costs no system call when nobody
// waits: a page, an asset and a command file each have one.
template <typename T>
class job_future {
 public:
  job_future() = default;
  explicit job_future(std::shared_ptr<job_state<T>> state) : state_(std::move(state)) {}

  // Whether the job has run.
  bool ready() const { return state_->done.load(std::memory_order_acquire) == job_ended; }

  // Waits for the job to run.
  void wait() const {
    std::atomic<int>& done = state_->done;
    int seen = done.load(std::memory_order_acquire);
    while (seen != job_ended) {
      if (seen == job_awaited ||
          done.compare_exchange_weak(seen, job_awaited, std::memory_order_acquire)) {
        done.wait(job_awaited, std::memory_order_acquire);
        seen = done.load(std::memory_order_acquire);
      }
    }
  }

  // Waits for the job and takes its result, or throws what it threw.
  T get() {
    wait();
    if (state_->error) {
      std::rethrow_exception(state_->error);
    }
    return std::move(*state_->value);
  }

 private:
  std::shared_ptr<job_state<T>> state_;
};

// A result that is there already.
template <typename T>
job_future<T> finished_future(T value) {
  auto state = std::make_shared<job_state<T>>();
  state->value.emplace(std::move(value));
  state->done.store(job_ended, std::memory_order_release);
  return job_future<T>(std::move(state));
}

// What a job of type Job hands back: its result, or no_result for nothing.
template <typename Job>
using job_result_t = std::conditional_t<std::is_void_v<std::invoke_result_t<Job&>>, no_result,
                                        std::invoke_result_t<Job&>>;

// Runs `job` and leaves its result, or the exception it threw, in `state`.
template <typename Job>
void run_into(Job& job, job_state<job_result_t<Job>>& state) {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Job&>>) {
      job();
      state.value.emplace();
    } else {
      state.value.emplace(job());
    }
  } catch (...) {
    state.error = std::current_exception();
  }
  if (state.done.exchange(job_ended, std::memory_order_acq_rel) == job_awaited) {
    state.done.notify_all();
  }
}

// Gathers `job` into `batch` (or runs it at once in a pool without threads) and hands the batch
// over once it is full; the job's result, or the exception it threw, arrives through the future.
template <typename Job>
auto add_job(job_batch& batch, Job job) -> job_future<job_result_t<Job>> {
  auto state = std::make_shared<job_state<job_result_t<Job>>>();
  if (batch.pool.threads.empty()) {
    run_into(job, *state);
    return job_future(std::move(state));
  }
  // A job may hold what cannot be copied; the queue holds copyable functions.
  batch.jobs.emplace_back(
      [state, task = std::make_shared<Job>(std::move(job))] { run_into(*task, *state); });
  if (batch.jobs.size() >= batch.size) {
    hand_over(batch);
  }
  return job_future(std::move(state));
}

// Queues `job` on its own (or runs it at once in a pool without threads); its result, or the
// exception it threw, arrives through the future.
template <typename Job>
auto submit_job(job_pool& pool, Job job) -> job_future<job_result_t<Job>> {
  job_batch single{pool, 1, {}};
  return add_job(single, std::move(job));
}

// The number of cores this process may run on.
unsigned usable_cores();

// Threads for file-system work beside the main thread: `wanted`, or none on a single core.
unsigned helper_threads(unsigned wanted);
