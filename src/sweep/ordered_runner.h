// Runs numbered jobs on worker threads and hands their results back in job order, holding only a
// bounded window of results in memory.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace liftsim::sweep {

// The most threads a sweep runs: far beyond the cores of one machine, and below what makes
// starting them a failure of its own.
inline constexpr int kMostThreads = 1024;

// The CPUs this process may run on (its affinity mask: a Slurm task or `taskset` gets its share,
// not the machine's every core); at least 1.
int usable_cpus();

struct RunnerOptions {
  int threads = 1;  // clamped to 1 .. the number of jobs
  // Stop taking new jobs once this is set (non-zero). Jobs under way see it too (they are given
  // the same flag) and either finish or give up.
  const std::atomic<int>* stop = nullptr;
  // How many results per thread may wait for an earlier, slower one: room enough that a slow
  // case does not leave the other threads idle, while memory stays bounded.
  int window_per_thread = 128;
};

// Runs work(p) for every position p of 0 .. count - 1 on the threads and calls emit(p, result) on
// the calling thread in position order, as soon as each result and all before it are done.
// Results are never more than `window_per_thread` per thread ahead of the last emitted one. A job
// that gives up (work returns nullopt, as a job does when the stop flag ends it) ends the run:
// nothing from its position on is emitted. Returns the number of results emitted: all of them, or
// fewer when stopped (then exactly the first ones, in order). An exception from work() or emit()
// stops the run and is rethrown after the threads are joined.
template <class Result>
std::int64_t run_ordered(std::int64_t count,
                         const std::function<std::optional<Result>(std::int64_t position)>& work,
                         const std::function<void(std::int64_t position, Result& result)>& emit,
                         const RunnerOptions& options) {
  if (count <= 0) return 0;
  const std::int64_t threads = std::clamp<std::int64_t>(options.threads, 1, count);
  const std::int64_t window =
      std::min(count, threads * std::max<std::int64_t>(1, options.window_per_thread));

  std::mutex mutex;
  std::condition_variable changed;
  std::int64_t next_job = 0;      // the next position to hand out
  std::int64_t next_emit = 0;     // the next position to emit
  std::int64_t given_up = count;  // the first position whose job gave up
  std::vector<std::unique_ptr<Result>> done(static_cast<std::size_t>(window));
  std::exception_ptr failure;
  bool stopping = false;

  auto stop_requested = [&] {
    return stopping || (options.stop != nullptr && options.stop->load() != 0);
  };

  auto worker = [&] {
    for (;;) {
      std::int64_t position;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] {
          return stop_requested() || next_job >= count || next_job < next_emit + window;
        });
        if (stop_requested() || next_job >= count) return;
        position = next_job++;
      }
      std::unique_ptr<Result> result;
      try {
        if (std::optional<Result> r = work(position))
          result = std::make_unique<Result>(std::move(*r));
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!failure) failure = std::current_exception();
        stopping = true;
        changed.notify_all();
        return;
      }
      std::lock_guard lock(mutex);
      if (result) {
        done[static_cast<std::size_t>(position % window)] = std::move(result);
      } else {
        given_up = std::min(given_up, position);
        stopping = true;
      }
      changed.notify_all();
    }
  };

  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads));
  try {
    for (std::int64_t t = 0; t < threads; ++t) pool.emplace_back(worker);
  } catch (const std::system_error&) {
    // The system would start no more threads: the ones it did start do the work.
    if (pool.empty()) throw;
  }

  // Emit in order on this thread; the workers wait for room in the window.
  {
    std::unique_lock lock(mutex);
    while (next_emit < count) {
      auto& slot = done[static_cast<std::size_t>(next_emit % window)];
      if (!slot) {
        if (failure || next_emit >= given_up) break;
        // Stopped and nothing under way can fill the slot any more: done.
        if (stop_requested() && next_job <= next_emit) break;
        changed.wait_for(lock, std::chrono::milliseconds(100));
        continue;
      }
      std::unique_ptr<Result> result = std::move(slot);
      const std::int64_t position = next_emit;
      lock.unlock();
      try {
        emit(position, *result);
      } catch (...) {
        lock.lock();
        if (!failure) failure = std::current_exception();
        break;
      }
      lock.lock();
      ++next_emit;
      changed.notify_all();
    }
    stopping = true;
    changed.notify_all();
  }
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  return next_emit;
}

}  // namespace liftsim::sweep
