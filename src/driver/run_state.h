// Everything one run of the simulator owns: parameters, integration control, state, history.
#pragma once

#include <array>
#include <cstdint>

#include "model/state.h"
#include "numeric/xemi.h"

namespace liftsim::driver {

struct RunState {
  model::Par par;
  // Integration control: start time, end time, initial and largest step, error bound, stop flag.
  std::array<double, 5> prmt{};
  model::StateVector y{};      // state vector
  model::StateVector dery{};   // error weights on entry to the integrator, derivatives after it
  model::StateVector w_err{};  // error weights kept aside
  std::int32_t ihlf = 0;       // integrator result code
  std::array<double, numeric::kAuxRows * model::kNdim> aux{};  // integrator work storage
  model::ObservationPoints obs;
  model::StaticRefs refs;
  model::OutputHistory hist;
  double pi = 0.0;  // pi of the static scan
};

}  // namespace liftsim::driver
