// Force laws of the truck model that carry a branch: engine drive torque, load friction, wheel
// shaft.
#pragma once

namespace liftsim::model {

// Engine speed in rpm for the wheel-shaft angular velocity VFi_tk (rad/s).
double engine_speed(double VFi_tk);

// Drive torque at the wheel shaft for the engine speed n_e (rpm): linear from the standstill
// torque up to and including the minimum speed, the cubic characteristic above it, through the
// transmission, and never negative.
double drive_torque(double n_e);

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
