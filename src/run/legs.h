// Integration legs: the integrator driven over the run's time span and restarted when it gives up.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "output/step_output.h"
#include "params/table.h"
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

// How much work a run may do. A run that ends by itself needs about 20 000 derivative calls on
// the example; runs whose step control keeps failing (light loads, a step asked for that is too
// small to get anywhere) could go on for hours, hundreds of restarts each advancing nanoseconds.
// So a run that has made more than `derivative_calls` calls ends, at the output point where it
// crosses the limit, as stalled (M6110). A run that ends by itself within the limit is never
// touched, whatever its restarts. 0: no limit.
struct WorkLimit {
  std::int64_t derivative_calls = 2'000'000;
};

// The state a run starts from before the statics: at rest, the traction axle point at x_0 on
// undeflected wheels (0.401 m up), the load x_load along the forks (0.6 m), and on a gradient
// the mast turned with the body by the gradient's angle.
model::StateVector initial_state(const params::CaseValues& values);

// The road a case stands on: the profile (flat without one) tilted by the case's slope.
model::Road road_of(const params::CaseValues& values, const model::Road& profile);

// Sets up a run's state from its values: model, integration control, observation points, the
// initial state, error weights and output history.
void prepare_state(RunState& run, const params::CaseValues& values, const model::Road& road,
                   model::Kind kind, const model::Drive& drive = {});

// Prepares the first leg: the output history's previous state, the error weights and the rolling
// angle, which starts at zero once for the whole run (a restart resumes the wheel-shaft angle from
// the last output point, so the rolling angle resumes with it).
void start_integration(RunState& run);

// Why a leg ended: the integrator returned by itself, or the leg was ended at an output point
// once every observer had seen it (so the time-history files hold whole record sets).
enum class LegEnd {
  integrator,  // see ihlf
  stop,        // the stop request turned non-zero
  work,        // the derivative calls went past the work limit
  decided,     // an observer finished (PointObserver::finished)
};

// One integrator call from the current prmt, y and dery (the error weights), with the truck model
// as right-hand side and the step output with `observers` as observer.
LegEnd run_leg(RunState& run, std::span<output::PointObserver* const> observers, RunStats& stats,
               const std::atomic<int>* stop = nullptr, const WorkLimit& work = {});

// After a leg whose last output point lies before the end time: whether the integrator gave up on
// a too-small step, so that the run restarts.
bool ended_early(const RunState& run);
bool wants_restart(const RunState& run);

// Prepares the next leg from the last output point with the step times 0.9 and the error bound
// times 1.1.
void prepare_restart(RunState& run);

}  // namespace liftsim::run
