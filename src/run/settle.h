// The truck at rest in the equilibrium of its own equations of motion.
#pragma once

#include <optional>

#include "run/run_state.h"

namespace liftsim::run {

// How the start of the sound model differs from the statics' start.
struct Settling {
  double dZ_013 = 0.0;    // change of the traction axle height, m
  double dFi_3 = 0.0;     // change of the body pitch, rad
  double dlh_free = 0.0;  // change of the tilt cylinder's free length, m
  double dz02_0 = 0.0;    // change of the lift cylinder's unloaded travel, m
  double dFi_tk = 0.0;    // the wheel shaft's angle that holds the truck on a gradient, rad
  // Largest generalized acceleration of the truck at rest (m/s^2 or rad/s^2), before and after.
  double accel_before = 0.0;
  double accel_after = 0.0;
  int iterations = 0;
  bool converged = false;  // false: the best iterate short of convergence
};

// The statics put the truck on its tyres from hand-made moment balances (the tilt cylinder's
// deflection, for one, is the mean of two estimates that disagree), so the equations of motion
// start out of balance: on the example the first output point has the axle accelerating at
// 22 m/s^2 and the load along the forks at 25 m/s^2, a jolt that rings for a second. This finds
// the axle height Z_01.3, the body pitch Fi_3, the free lengths of the tilt cylinder (lh_free)
// and of the lift cylinder and chains (z02_0), and on a gradient the wheel shaft's angle that
// winds the traction tyre up against the slope, at which every generalized force of the truck at
// rest vanishes, the mast upright and the carriage down as the statics have them,
// by Newton's method seeded with the statics. It changes `run.y` and `run.model.refs` and says by
// how much; when the statics find no load on the steered wheels, or the iteration does not
// settle, it leaves them as they are and returns nothing. Runs under the run's traps.
std::optional<Settling> settle(RunState& run);

}  // namespace liftsim::run
