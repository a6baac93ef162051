// Right-hand side of the truck's equations of motion.
#pragma once

#include "model/state.h"

namespace liftsim::model {

// Derivative `dery` of the state `y` at time x. Reads the parameters, the output history and
// the static references; keeps its published results (rotated offsets, element forces, engine
// torque) in `par`.
void Fct(double x, const double* y, double* dery, Par& par, const OutputHistory& hist,
         const StaticRefs& refs);

}  // namespace liftsim::model
