// Test support: the bundled example's run state, read from memory without files or report.
#pragma once

#include <string>

#include "driver/run_state.h"

namespace liftsim::testing {

// The run state after reading `input` (the bundled example by default) with the built-in values,
// as the run has it just before the statics: parameters, integration control, initial state.
driver::RunState example_state(const std::string& input = {});

// The same followed by the statics: equilibrium state and static references set.
driver::RunState example_state_after_statics(const std::string& input = {});

}  // namespace liftsim::testing
