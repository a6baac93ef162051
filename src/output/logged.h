// Quantities derived from the state at an output point: wheel and cylinder forces, angles in
// degrees, the analytic traction-wheel load and the accelerations of the observation points.
#pragma once

#include <array>
#include <cstdint>

#include "model/model.h"

namespace liftsim::output {

struct Logged {
  double x_k = 0.0, z_k = 0.0;    // steered-axle point
  double dz_k = 0.0, F_kp = 0.0;  // steered tyre deflection and force (0 when lifted)
  double dz_t = 0.0, F_tp = 0.0;  // traction tyre deflection and force (0 when lifted)
  double u1 = 0.0, w1 = 0.0, u3 = 0.0, w3 = 0.0;  // rotated tilt-cylinder attachment points
  double l_h = 0.0, F_13 = 0.0;  // tilt-cylinder length and force (negative when compressed)
  double F_12 = 0.0;             // lift cylinder and chains (never negative)
  double Fi_1deg = 0.0, Fi_3deg = 0.0, Fi_tkdeg = 0.0;
  // Analytic traction-wheel load of the two-mass chain truck + load.
  std::int32_t m_tru = 0, m_lod = 0;  // whole kilograms
  double c_t = 0.0, s_om = 0.0, k_om = 0.0, q = 0.0;
  std::int32_t om_1 = 0, om_2 = 0;  // natural circular frequencies, truncated
  double om_r = 0.0, A_r = 0.0;
  double F_an = 0.0;  // logged divided by 10
  // Accelerations of the three observation points.
  std::array<double, model::kObservationPoints> ax_p{}, az_p{};
};

// Sines and cosines of the mast angle Fi_1 and the body pitch Fi_3 of a state.
struct Trig {
  double s1, c1, s3, c3;
};
Trig trig_of(const double* y);
// The same as the model published them for the state it evaluated last.
inline Trig trig_of(const model::Published& pub) {
  return {pub.s1, pub.c1, pub.s3, pub.c3};
}

// The forces of the wheels and cylinders, the steered-axle point and the cylinder length at the
// state y (cheap: no analytic load, no observation points).
void compute_forces(const double* y, const model::Model& m, const Trig& t, Logged& lg);

// Everything logged at (x, y). Reads the rates from `hist`; allocates nothing and writes nothing.
// A load below 1 kg divides by zero in the analytic wheel load.
Logged compute_logged(double x, const double* y, const model::Model& m,
                      const model::ObservationPoints& obs, const model::OutputHistory& hist);

}  // namespace liftsim::output
