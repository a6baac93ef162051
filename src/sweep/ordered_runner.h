// Runs numbered jobs on worker threads and hands their results back in job order, holding only a
// bounded window of results in memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace liftsim::sweep {

struct RunnerOptions {
  int threads = 1;
  // Stop taking new jobs once this is set (non-zero); jobs under way finish.
  const std::atomic<int>* stop = nullptr;
  // How many results per thread may wait for an earlier, slower one: room enough that a slow
  // case does not leave the other threads idle, while memory stays bounded.
  int window_per_thread = 128;
};

// Runs work(job) for every job of `jobs` on the threads and calls emit(job, result) on the
// calling thread in the order of `jobs`, as soon as each result and all before it are done.
// Results are never more than `window_per_thread` per thread ahead of the last emitted one. Returns
// the number of jobs emitted: all of them, or fewer when stopped (then exactly the first ones, in
// order). An exception from work() or emit() stops the run and is rethrown after the threads are
// joined.
std::int64_t run_ordered(const std::vector<std::int64_t>& jobs,
                         const std::function<std::string(std::int64_t job)>& work,
                         const std::function<void(std::int64_t job, const std::string&)>& emit,
                         const RunnerOptions& options);

}  // namespace liftsim::sweep
