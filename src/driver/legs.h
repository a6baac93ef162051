// Integration legs: the integrator driven over the run's time span and restarted when it gives up.
#pragma once

#include <cstdint>

#include "driver/run_state.h"

namespace liftsim::driver {

// Counters of one run, for `liftsim --stats`.
struct RunStats {
  std::int64_t derivative_calls = 0;
  std::int64_t output_calls = 0;
  std::int64_t accepted_steps = 0;
  std::int64_t halvings = 0;
  std::int64_t doublings = 0;
  std::int64_t legs = 0;
  double smallest_step = 0.0;  // smallest step of an accepted point
};

// Prepares the first leg: the output history's previous state, the error weights and the rolling
// angle, which starts at zero once for the whole run (a restart resumes the wheel-shaft angle from
// the last output point, so the rolling angle resumes with it).
void start_integration(RunState& run);

// One integrator call from the current prmt, y and dery (the error weights), with the truck model
// as right-hand side and the step output as observer.
void run_leg(RunState& run, RunStats& stats);

// After a leg: when its last output point lies before the end time, writes the leg-end lines to
// the report; when the integrator gave up on a too-small step, prepares the next leg from the last
// output point with the step times 0.9 and the error bound times 1.1 and returns true.
bool prepare_restart(RunState& run);

// All legs from the initial state to the end time.
void integrate(RunState& run, RunStats& stats);

}  // namespace liftsim::driver
