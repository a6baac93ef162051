// Static equilibrium of the truck on its tyres and the static forces of the hydraulic elements.
#pragma once

#include "model/model.h"

namespace liftsim::run {

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
  // Horizontal lever arms of mast, carriage and load about the traction axle.
  double a_1 = 0.0, a_2 = 0.0, a_4 = 0.0;
  double a_3 = 0.0;  // of the body at the equilibrium pitch
};

// Finds the equilibrium pitch Fi_3 and axle height Z_01.3 of the truck on `road` (written into y)
// and the static wheel loads.
StaticsResult find_equilibrium(const model::Par& par, const model::Road& road,
                               model::StateVector& y);

// Then the static deflections and forces of the cylinders and the references lh_free and z02_0.
// `F_kp` is the steered-wheel force the model has published so far (none before the first
// evaluation: 0).
void static_forces(const model::Par& par, const model::StateVector& y, double F_kp,
                   StaticsResult& s, model::StaticRefs& refs);

}  // namespace liftsim::run
