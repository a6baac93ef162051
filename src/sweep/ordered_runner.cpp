#include "sweep/ordered_runner.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace liftsim::sweep {

std::int64_t run_ordered(const std::vector<std::int64_t>& jobs,
                         const std::function<std::string(std::int64_t job)>& work,
                         const std::function<void(std::int64_t job, const std::string&)>& emit,
                         const RunnerOptions& options) {
  const auto total = static_cast<std::int64_t>(jobs.size());
  const int threads = std::max(1, options.threads);
  const std::int64_t window =
      static_cast<std::int64_t>(threads) * std::max(1, options.window_per_thread);

  std::mutex mutex;
  std::condition_variable changed;
  std::int64_t next_job = 0;   // position in `jobs` of the next job to hand out
  std::int64_t next_emit = 0;  // position of the next result to emit
  std::vector<std::optional<std::string>> done(static_cast<std::size_t>(window));
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
          return stop_requested() || next_job >= total || next_job < next_emit + window;
        });
        if (stop_requested() || next_job >= total) return;
        position = next_job++;
      }
      std::string result;
      try {
        result = work(jobs[static_cast<std::size_t>(position)]);
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!failure) failure = std::current_exception();
        stopping = true;
        changed.notify_all();
        return;
      }
      std::lock_guard lock(mutex);
      done[static_cast<std::size_t>(position % window)] = std::move(result);
      changed.notify_all();
    }
  };

  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t) pool.emplace_back(worker);

  // Emit in order on this thread; the workers wait for room in the window.
  {
    std::unique_lock lock(mutex);
    while (next_emit < total) {
      auto& slot = done[static_cast<std::size_t>(next_emit % window)];
      if (!slot) {
        // Stopped and nothing under way can fill the slot any more: done.
        if ((stop_requested() && next_job <= next_emit) || failure) break;
        changed.wait_for(lock, std::chrono::milliseconds(100));
        continue;
      }
      std::string result = std::move(*slot);
      slot.reset();
      const std::int64_t position = next_emit;
      lock.unlock();
      try {
        emit(jobs[static_cast<std::size_t>(position)], result);
      } catch (...) {
        lock.lock();
        if (!failure) failure = std::current_exception();
        stopping = true;
        changed.notify_all();
        break;
      }
      lock.lock();
      ++next_emit;
      changed.notify_all();
      if (stop_requested() && next_job <= next_emit) break;
    }
    stopping = true;
    changed.notify_all();
  }
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  return next_emit;
}

}  // namespace liftsim::sweep
