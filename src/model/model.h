// The constant model of one run: parameters, static references, road and derived engine values.
#pragma once

#include "model/drive.h"
#include "model/road.h"
#include "model/state.h"

namespace liftsim::model {

// Engine torques that depend on the parameters alone, worked out once per run.
struct EngineCurve {
  double M_min = 0.0;  // torque on the characteristic at n_min
  double M_0 = 0.0;    // torque at standstill, 0.3·M_min
};

// Where the moment arms of the tilt-cylinder and steered-wheel forces on mast and body are taken
// from. `legacy` takes them from the global coordinates of the attachment points and the steered
// axle, as the stored results of the program were computed: a truck that rolls along x then feels
// moments that no physics puts there (the arm grows by the distance travelled). `sound` takes them
// from the traction axle point, about which mast and body turn, so the model does not depend on
// where along the road the truck stands. The sound model also takes the traction tyre's
// tangential deflection from the distance rolled (the legacy model takes it from a rolling angle
// summed at output points, a delayed spring that pumps energy into a moving truck until it
// shakes itself over), starts from its own equilibrium
// (run/settle.h), and holds a load near rest with the friction it takes (its friction never
// pushes the load along, and a pressure on the forks that would pull gives none), where the
// legacy model's exact test for rest lets a speed of 1e-17 left by rounding meet the full sliding
// friction, so that the load chatters at several m/s^2 for the whole run.
enum class Kind { legacy, sound };

const char* kind_name(Kind kind);

// Everything the equations of motion read that stays fixed during a run. The statics set `refs`
// and the run sets `engine` before the integration starts.
struct Model {
  Par par;
  StaticRefs refs;
  Road road;
  EngineCurve engine;
  Drive drive;  // the engine law by default
  Kind kind = Kind::legacy;
  // The sound model: time in which friction brings a load near rest to rest (s); ten of the
  // largest steps, so the integrator follows it stably.
  double hold_time = 0.01;
  // The sound model's traction tyre: where the axle started along x and the tyre's rolling radius
  // there. Its tangential deflection is the wheel's turn less the distance rolled along the road
  // over that radius: a spring between the rim and the road, with no history.
  double x_start = 0.0;
  double r_roll = 0.0;
};

}  // namespace liftsim::model
