// Test support: the bundled example read from memory, as a run has it before and after the statics.
#pragma once

#include <string>

#include "params/table.h"
#include "run/run_state.h"

namespace liftsim::testing {

// The values a run uses for `input` (the bundled example by default): the built-in values and the
// records read, nothing set by name, no report.
params::CaseValues example_values(const std::string& input = {});

// The run state as a run sets it up from `input` before the statics, on a flat road: parameters,
// integration control, observation points, the truck at rest on undeflected wheels, the error
// weights, the output history's start times and the engine curve.
run::RunState example_state(const std::string& input = {});

// The same followed by the statics: equilibrium state and static references set.
run::RunState example_state_after_statics(const std::string& input = {});

}  // namespace liftsim::testing
