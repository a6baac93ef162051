// Force laws of the truck model that carry a branch: wheel contact, engine, load and wheel shaft.
#pragma once

#include "model/model.h"

namespace liftsim::model {

// Radial deflection of a wheel and the force it gives: one-sided, both zero while the wheel is off
// the road.
struct WheelContact {
  double dz = 0.0;
  double F = 0.0;
};

// Traction tyre under the traction axle point (X_013, Z_013).
WheelContact traction_contact(const Par& par, const Road& road, double X_013, double Z_013);

// Steered tyre and rubber buffer in series under the steered-axle point (x_k, z_k).
WheelContact steered_contact(const Par& par, const Road& road, double x_k, double z_k);

// Engine speed in rpm for the wheel-shaft angular velocity VFi_tk (rad/s).
double engine_speed(const Par& par, double VFi_tk);

// Drive torque at the wheel shaft for the engine speed n_e (rpm): linear from the standstill
// torque up to and including the minimum speed, the cubic characteristic above it, through the
// transmission, and never negative.
double drive_torque(const Par& par, const EngineCurve& curve, double n_e);

// The engine torques of the parameters at n_min and at standstill.
EngineCurve engine_curve(const Par& par);

// Generalized force on the load along the forks: the weight component W less the friction F_fr
// against the sliding velocity vx4. At rest (vx4 exactly zero) the load sticks unless the weight
// component exceeds the friction limit; then the excess pulls it down the tilt of the mast
// (angle Fi_1).
double load_force(double vx4, double Fi_1, double W, double F_fr);

// Generalized moment on the wheel shaft: the net moment M_net less the rolling resistance M_f.
// At rest (VFi_tk exactly zero) the shaft sticks while the net moment does not exceed the
// rolling resistance.
double shaft_moment(double VFi_tk, double M_net, double M_f);

}  // namespace liftsim::model
