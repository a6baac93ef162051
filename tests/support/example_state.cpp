#include "support/example_state.h"

#include "model/forces.h"
#include "params/table.h"
#include "run/input.h"
#include "run/statics.h"
#include "support/e2e.h"

namespace liftsim::testing {

run::RunState example_state(bool statics) {
  const std::string text = example_input();
  std::size_t position = 0;
  params::CaseValues values = params::built_in_case();
  run::read_case(run::memory_source(text, position), "dani.dat", {}, values, {});
  run::RunState run;
  run.model.par = values.par;
  run.model.engine = model::engine_curve(values.par);
  run.prmt = values.prmt;
  run.obs = values.obs;
  run.y.fill(0.0);
  run.y[model::ix::Z_013] = double{0.401f};
  run.y[model::ix::X_C4] = double{0.6f};
  run.w_err.fill(double{0.0714285746f});
  run.hist.t_prev = run.prmt[0];
  run.hist.t_last = run.prmt[0];
  if (statics) {
    run::StaticsResult s = run::find_equilibrium(run.model.par, run.model.road, run.y);
    run::static_forces(run.model.par, run.y, run.pub.F_kp, s, run.model.refs);
  }
  return run;
}

}  // namespace liftsim::testing
