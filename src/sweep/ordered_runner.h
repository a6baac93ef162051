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
};

// Runs work(job) for every job of `jobs` on the threads and calls emit(job, result) on the
// calling thread in the order of `jobs`, as soon as each result and all before it are done.
// Results are never more than a few per thread ahead of the last emitted one. Returns the number
// of jobs emitted: all of them, or fewer when stopped (then exactly the first ones, in order).
// An exception from work() or emit() stops the run and is rethrown after the threads are joined.
std::int64_t run_ordered(const std::vector<std::int64_t>& jobs,
                         const std::function<std::string(std::int64_t job)>& work,
                         const std::function<void(std::int64_t job, const std::string&)>& emit,
                         const RunnerOptions& options);

}  // namespace liftsim::sweep
