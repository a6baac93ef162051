// Sweeps and capacity charts as library calls: a base case, what varies, which shard, how many
// threads, a stop flag; typed rows handed to the caller's sink on the calling thread, in case
// order. The command line and other front ends format, store and show the rows.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sweep/axes.h"
#include "sweep/capacity.h"
#include "sweep/case_run.h"
#include "sweep/tilt.h"

namespace liftsim::sweep {

// One case of a sweep.
struct SweepRow {
  std::int64_t index = 0;      // the case's number in the whole sweep
  std::vector<double> values;  // the varied values, one per axis
  results::Summary summary;
  // The verdict as reported: none for a case that failed on its own files (reported_verdict).
  std::optional<results::Verdict> verdict;
};

struct SweepPlan {
  BaseCase base;
  std::vector<Axis> axes;  // the cases are their Cartesian product, the first varying slowest
  Shard shard;
  int threads = 0;  // 0: the CPUs this process may use (usable_cpus); never more than the cases
  // Keep each case's files in save_dir/case-NNNNN (the number with at least five digits).
  std::string save_dir;
  // Set (non-zero, the number of the signal that asked) to stop: every case under way ends at its
  // next output point and is dropped; the rows handed out so far are the first ones, in order.
  const std::atomic<int>* stop = nullptr;
};

struct CapacityPlan {
  BaseCase base;
  Axis heights;  // the load heights searched, normally zc_4
  // A second parameter the chart is drawn across: the load centre x_load makes the capacity plate
  // of load centre and lift height. The rows are all pairs, the height varying slowest.
  std::optional<Axis> across;
  MassRange mass;
  bool convergence = false;  // each capacity searched again at a tenth of tol and h_max
  Shard shard;
  int threads = 0;
  const std::atomic<int>* stop = nullptr;
};

struct TiltPlan {
  BaseCase base;
  Axis heights;  // the load heights tested, normally zc_4
  TiltOptions options;  // its stop flag is replaced by `stop` below
  Shard shard;
  int threads = 0;
  const std::atomic<int>* stop = nullptr;
};

// How a sweep or a chart ended.
struct StudyEnd {
  std::int64_t done = 0;  // rows of the shard done: the ones skipped and the ones handed out
  bool stopped = false;   // the stop request ended it before its last row
  // A failure that ended it: the save folder could not be made, or the sink threw
  // textio::RunFailure (a result file that could not be written).
  std::optional<textio::RunError> error;
};

// Everything a sweep or a chart refuses before it runs anything, with the message the command
// line shows: no axis or one twice, more than kMostCases cases, a shard that is not K/N, threads
// outside 0 .. kMostThreads, thresholds that are not finite, a value any case would refuse
// (check_cases), a save folder that cannot be made or written in; for a chart, m_4 as the height,
// a mass range that is empty or too fine.
std::optional<params::ParseError> check_sweep(const SweepPlan& plan);
std::optional<params::ParseError> check_capacity(const CapacityPlan& plan);

std::optional<params::ParseError> check_tilt(const TiltPlan& plan);

// The rows of a chart: its heights, times the values drawn across.
std::int64_t capacity_rows(const CapacityPlan& plan);

// The thread count a study runs with for `rows` rows: `threads`, or usable_cpus() for 0, at most
// `rows`, at least 1.
int thread_count(int threads, std::int64_t rows);

// Runs the shard's cases after the first `skip` of them (rows a resumed file already holds),
// calling sink(row) for each on the calling thread, in case order.
StudyEnd run_sweep(const SweepPlan& plan, std::int64_t skip,
                   const std::function<void(SweepRow& row)>& sink);

// Finds the capacity at each height of the shard after the first `skip`, calling
// sink(index, row) for each on the calling thread, in height order.
StudyEnd run_capacity(const CapacityPlan& plan, std::int64_t skip,
                      const std::function<void(std::int64_t index, CapacityRow& row)>& sink);

// The tilting-table test at each height of the shard after the first `skip`, calling
// sink(index, row) for each on the calling thread, in height order.
StudyEnd run_tilt(const TiltPlan& plan, std::int64_t skip,
                  const std::function<void(std::int64_t index, TiltRow& row)>& sink);

}  // namespace liftsim::sweep
