// Static equilibrium of the truck on its tyres and the static forces of the hydraulic elements.
#pragma once

#include <functional>

#include "model/state.h"

namespace liftsim::driver {

struct StaticsResult {
  double psi_0 = 0.0;    // geometric pitch angle
  double F_kp_0 = 0.0;   // static steered-wheel force
  double F_tp_0 = 0.0;   // static traction-wheel force
  double c_ks = 0.0;     // steered tyre and buffer in series
  double dl_lift = 0.0;  // static deflection of the lift cylinder and chains
  double lh_0 = 0.0;     // tilt-cylinder length in the initial position
  double dl_t1 = 0.0;    // tilt-cylinder deflection from the mast balance
  double dl_t3 = 0.0;    // tilt-cylinder deflection from the body balance
  double dl_tilt = 0.0;  // their mean
  double SF13 = 0.0;     // static tilt-cylinder force
  double SF12 = 0.0;     // static force of the lift cylinder and chains
  long trials = 0;       // trial angles of the scan
};

// Finds the equilibrium pitch Fi_3 and axle height Z_01.3 (written into y), the static deflections
// and forces, and the references lh_free and z02_0. `pi` is the run's single-precision pi.
// `on_equilibrium` is called with y as soon as the equilibrium is known (the report's
// initial-state block is written there, before the cylinder statics).
StaticsResult compute_statics(
    model::Par& par, model::StateVector& y, model::StaticRefs& refs, double pi,
    const std::function<void(const model::StateVector&)>& on_equilibrium = {});

}  // namespace liftsim::driver
