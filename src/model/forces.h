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

// Both wheels on the road, and the road's direction under each: what the equations of motion
// and everything derived from a state (the logged forces, the summary) take the wheel forces
// from. The legacy model measures the deflections vertically and pushes vertically; the sound
// model measures them along the road's normal and pushes along it (the same on level ground),
// so that on a gradient the road's reaction has its downhill part.
struct Wheels {
  WheelContact traction, steered;
  double ct = 1.0, st = 0.0;  // cos and sin of the road's angle under the traction wheels
  double ck = 1.0, sk = 0.0;  // and under the steered wheels
  double r = 0.0;             // rolling radius: the traction axle's distance from the road
};
Wheels wheel_contacts(const Model& model, double X_013, double Z_013, double x_k, double z_k);

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

// Generalized moment on the wheel shaft under the engine law: the net moment M_net less the
// rolling resistance M_f, whichever way the shaft turns. At rest (VFi_tk exactly zero) the shaft
// sticks while the net moment does not exceed the rolling resistance.
double shaft_moment(double VFi_tk, double M_net, double M_f);

// The friction torque on the wheel shaft with a torque given over time or a brake (the shaft's
// generalized moment is the net moment less it): rolling resistance and brake, at most `limit`,
// against the rotation; near rest the torque that brings the shaft to rest within `hold_time`, so
// a braked wheel stops and stays stopped and never turns backwards on its own. `inertia` is the
// shaft's (J_tk).
double shaft_friction(double VFi_tk, double M_net, double limit, double inertia, double hold_time);

}  // namespace liftsim::model
