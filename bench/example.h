// The bundled example for the benchmarks: its text, and its values and model as a run has them.
#pragma once

#include <string>

#include "model/model.h"
#include "params/table.h"

namespace liftsim::bench {

// The bytes of examples/dani.dat.
const std::string& example_text();

// The values a plain run of the example uses: the built-in values and the records read.
const params::CaseValues& example_values();

// The example truck's model on a flat road, with the static references of its equilibrium.
model::Model example_model();

}  // namespace liftsim::bench
