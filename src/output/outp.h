// Step output: keeps the output history and writes the time-history records every 500th call.
#pragma once

#include "model/state.h"

namespace liftsim::output {

// Called at every output point right after the derivative at (x, y) was evaluated.
// Updates `hist`; on every 500th call (counting from 0) writes one record to each time-history
// unit and one progress line to the console.
void Outp(double x, const double* y, int ndim, const model::Par& par,
          const model::StaticRefs& refs, const model::ObservationPoints& obs,
          model::OutputHistory& hist);

}  // namespace liftsim::output
