// Test support: the bundled example read from memory, as a run has it before and after the statics.
#pragma once

#include "run/run_state.h"

namespace liftsim::testing {

// The run state as a run sets it up from the bundled example before the statics, on a flat road:
// parameters, integration control, observation points, the truck at rest on undeflected wheels,
// the error weights, the output history's start times and the engine curve. With `statics`, the
// equilibrium state and static references set as well.
run::RunState example_state(bool statics = false);

}  // namespace liftsim::testing
