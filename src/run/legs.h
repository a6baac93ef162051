// Integration legs: the integrator driven over the run's time span and restarted when it gives up.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "output/step_output.h"
#include "run/run_state.h"

namespace liftsim::run {

// Counters of one run, for `liftsim --stats` and the summary.
struct RunStats {
  std::int64_t derivative_calls = 0;
  std::int64_t output_calls = 0;
  std::int64_t accepted_steps = 0;
  std::int64_t halvings = 0;
  std::int64_t doublings = 0;
  std::int64_t legs = 0;
  double smallest_step = 0.0;  // smallest step of an accepted point
};

// When restarts stop making progress. The run is stalled when the last `max_stalled` restarts
// together advanced the time by less than `min_advance` seconds, or when after a restart the
// largest step has shrunk so far (each restart takes 0.9 of it) that the rest of the run would
// need more than `max_remaining_steps` steps of it. max_stalled = 0 switches both off.
// The runs that finish through restarts stay far from both: no 30 restarts in a row of theirs
// advanced less than 0.8 ms together, and none needed more than 2e7 steps of its largest step.
struct RestartLimit {
  int max_stalled = 30;
  double min_advance = 1e-5;
  double max_remaining_steps = 1e9;
  // A leg can also creep without ever giving up: `creep_points` output points in a row whose
  // steps average below `creep_step` (and below a millionth of the largest step asked for) stall
  // the run too. The slowest run seen to finish averaged 2.7e-8 s over millions of points.
  long creep_points = 100000;
  double creep_step = 1e-9;
};

// Prepares the first leg: the output history's previous state, the error weights and the rolling
// angle, which starts at zero once for the whole run (a restart resumes the wheel-shaft angle from
// the last output point, so the rolling angle resumes with it).
void start_integration(RunState& run);

// Watches the output points for a leg that creeps: see RestartLimit.
struct CreepWatch {
  long window = 0;            // output points per window
  long points = 0;            // output points since the window began
  double window_start = 0.0;  // time at which it began
  double limit_step = 0.0;    // average step below which the window is creeping (0: off)
  bool creeping = false;
};

// One integrator call from the current prmt, y and dery (the error weights), with the truck model
// as right-hand side and the step output with `observers` as observer. When `stop` is given and
// turns non-zero, the leg ends right after the output point being made, once every observer has
// seen it (so the time-history files hold whole record sets).
void run_leg(RunState& run, std::span<output::PointObserver* const> observers, RunStats& stats,
             const std::atomic<int>* stop = nullptr, CreepWatch* creep = nullptr);

// After a leg whose last output point lies before the end time: whether the integrator gave up on
// a too-small step, so that the run restarts.
bool ended_early(const RunState& run);
bool wants_restart(const RunState& run);

// Prepares the next leg from the last output point with the step times 0.9 and the error bound
// times 1.1.
void prepare_restart(RunState& run);

}  // namespace liftsim::run
