// Mass matrix, generalized forces and element quantities of the truck model, before the solve.
#pragma once

#include <array>

#include "model/model.h"

namespace liftsim::model {

// Number of generalized coordinates: X_01.3, Z_01.3, Fi_1, Fi_3, Z_02, X_C4, Fi_tk.
inline constexpr int kNq = 7;

// Element quantities of one evaluation that stay inside it (the published ones are in Published).
struct Elements {
  double dz_t = 0.0;   // radial deflection of the traction tyre
  double F_tp = 0.0;   // traction wheel force
  double dz_k = 0.0;   // radial deflection of steered tyre and buffer
  double M_f = 0.0;    // rolling-resistance moment of both wheels
  double r = 0.0;      // rolling radius of the traction wheel
  double dfi_t = 0.0;  // tangential deflection angle of the traction tyre
  double F_tt = 0.0;   // tangential traction force
  double l_h = 0.0;    // tilt-cylinder length
  double F_13 = 0.0;   // tilt-cylinder force, positive when stretched
  double dl_12 = 0.0;  // compression of the lift cylinder and chains
  double a_z4 = 0.0;   // load acceleration estimates from the last output point
  double a_x4 = 0.0;
  double F_fr = 0.0;   // friction limit of the load on the forks
  double W = 0.0;      // weight component of the load along the forks
  double n_e = 0.0;    // engine speed (rpm)
  double M_net = 0.0;  // drive torque less the tyre's tangential moment
};

// The linear system A·q̈ = B of one evaluation. A is column by column: entry (i, j), 1-based,
// at (j − 1)·7 + i − 1; row k of B, 1-based, at k − 1.
struct Assembly {
  std::array<double, kNq * kNq> A;
  std::array<double, kNq> B;
  Elements el;
  // The sound model near rest: B(6) holds the load's weight alone, and the solve adds the
  // friction that holds it.
  bool hold_load = false;

  double& a(int i, int j) { return A[(j - 1) * kNq + (i - 1)]; }
  double a(int i, int j) const { return A[(j - 1) * kNq + (i - 1)]; }
  double& b(int k) { return B[k - 1]; }
  double b(int k) const { return B[k - 1]; }
};

// Evaluates geometry, mass matrix, element laws and generalized forces for the time x and the
// state y, publishing the rotated offsets, the cylinder points and forces, the steered-axle point
// and the drive torque in `pub`.
void fct_assemble(double x, const double* y, const Model& model, Published& pub,
                  const OutputHistory& hist, Assembly& out);

// Below this speed times the hold time (m/s per s), the sound model holds the load on the forks
// with the friction it takes to bring it to rest within the hold time, as long as the friction
// limit allows; above it the friction is the sliding one, which the hold would reach anyway.
inline constexpr double kLoadHoldSpeed = 10.0;

// Solves A·q̈ = B in place: B becomes the generalized accelerations. `vx4` is the load's speed
// along the forks.
void solve_accelerations(Assembly& sys, const Model& model, double vx4);

}  // namespace liftsim::model
