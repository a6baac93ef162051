// The constant model of one run: parameters, static references, road and derived engine values.
#pragma once

#include "model/road.h"
#include "model/state.h"

namespace liftsim::model {

// Engine torques that depend on the parameters alone, worked out once per run.
struct EngineCurve {
  double M_min = 0.0;  // torque on the characteristic at n_min
  double M_0 = 0.0;    // torque at standstill, 0.3·M_min
};

// Everything the equations of motion read that stays fixed during a run. The statics set `refs`
// and the run sets `engine` before the integration starts.
struct Model {
  Par par;
  StaticRefs refs;
  Road road;
  EngineCurve engine;
};

}  // namespace liftsim::model
