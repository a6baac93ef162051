#include "example.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "model/forces.h"
#include "run/input.h"
#include "run/statics.h"

namespace liftsim::bench {

const std::string& example_text() {
  static const std::string text = [] {
    const std::string path = std::string(LIFTSIM_SOURCE_DIR) + "/examples/dani.dat";
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }();
  return text;
}

const params::CaseValues& example_values() {
  static const params::CaseValues values = [] {
    params::CaseValues v = params::built_in_case();
    std::size_t position = 0;
    run::read_case(run::memory_source(example_text(), position), "dani.dat", {}, v, {});
    return v;
  }();
  return values;
}

model::Model example_model() {
  model::Model m;
  m.par = example_values().par;
  m.engine = model::engine_curve(m.par);
  // The truck at rest on undeflected wheels, the load 0.6 m along the forks, as a run starts.
  model::StateVector y{};
  y[model::ix::Z_013] = double{0.401f};
  y[model::ix::X_C4] = double{0.6f};
  run::StaticsResult s = run::find_equilibrium(m.par, m.road, y);
  run::static_forces(m.par, y, 0.0, s, m.refs);
  return m;
}

}  // namespace liftsim::bench
