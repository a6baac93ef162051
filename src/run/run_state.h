// Everything one run owns while it integrates: the model, the integration control, the state,
// the integrator's storage and the output history.
#pragma once

#include <array>
#include <cstdint>

#include "model/model.h"
#include "numeric/xemi.h"

namespace liftsim::run {

struct RunState {
  model::Model model;
  model::Published pub;  // what the model published at its last evaluation
  // Integration control: start time, end time, initial and largest step, error bound, stop flag.
  std::array<double, 5> prmt{};
  model::StateVector y{};      // state vector
  model::StateVector dery{};   // error weights on entry to the integrator, derivatives after it
  model::StateVector w_err{};  // error weights kept aside
  std::int32_t ihlf = 0;       // integrator result code
  std::array<double, numeric::kAuxRows * model::kNdim> aux{};  // integrator work storage
  model::ObservationPoints obs;
  model::OutputHistory hist;
};

}  // namespace liftsim::run
