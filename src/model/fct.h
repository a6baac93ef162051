// Right-hand side of the truck's equations of motion.
#pragma once

#include "model/model.h"

namespace liftsim::model {

// Derivative `dery` of the state `y` at time x. Reads the model and the output history; keeps its
// published results (rotated offsets, element forces, engine torque) in `pub`.
void Fct(double x, const double* y, double* dery, const Model& model, Published& pub,
         const OutputHistory& hist);

}  // namespace liftsim::model
