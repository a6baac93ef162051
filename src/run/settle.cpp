#include "run/settle.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "model/assemble.h"
#include "numeric/simq.h"  // the Newton steps

namespace liftsim::run {
namespace {

namespace ix = model::ix;

constexpr int kUnknowns = 5;  // Z_01.3, Fi_3, lh_free, z02_0, Fi_tk
using Vec = std::array<double, kUnknowns>;

// The truck at rest with the unknowns set.
void apply(RunState& s, const Vec& u) {
  s.y[ix::Z_013] = u[0];
  s.y[ix::Fi_3] = u[1];
  s.model.refs.lh_free = u[2];
  s.model.refs.z02_0 = u[3];
  s.y[ix::Fi_tk] = u[4];
}

// The generalized forces that the unknowns balance: vertical force, moments on mast and body,
// force along the mast, and the horizontal force, which on a gradient the traction tyre's
// tangential deflection (the wheel-shaft angle) holds against the road's reactions. The load on
// the forks and the wheel shaft are held by their own laws.
Vec forces(RunState& s, const Vec& u) {
  apply(s, u);
  model::Assembly as;
  model::Published pub;
  model::fct_assemble(s.prmt[0], s.y.data(), s.model, pub, s.hist, as);
  return {as.b(2), as.b(3), as.b(4), as.b(5), as.b(1)};
}

// The largest generalized acceleration of the truck at rest.
double largest_acceleration(RunState& s) {
  model::Assembly as;
  model::Published pub;
  model::fct_assemble(s.prmt[0], s.y.data(), s.model, pub, s.hist, as);
  model::solve_accelerations(as, s.model, s.y[ix::VX_C4]);
  double most = 0.0;
  for (double b : as.B) most = std::max(most, std::fabs(b));
  return most;
}

}  // namespace

std::optional<Settling> settle(RunState& s) {
  // Nothing to balance on a truck that already rests on its traction wheels alone.
  model::Assembly probe;
  model::Published pub;
  model::fct_assemble(s.prmt[0], s.y.data(), s.model, pub, s.hist, probe);
  if (!(pub.F_kp > 0.0)) return std::nullopt;

  const Vec start{s.y[ix::Z_013], s.y[ix::Fi_3], s.model.refs.lh_free, s.model.refs.z02_0,
                  s.y[ix::Fi_tk]};
  Settling out;
  out.accel_before = largest_acceleration(s);
  // Steps for the difference quotients: far above rounding, far below the scale of the answer.
  constexpr std::array<double, kUnknowns> kDelta{1e-7, 1e-7, 1e-7, 1e-7, 1e-7};
  Vec u = start;
  bool settled = false;
  for (int iteration = 1; iteration <= 30 && !settled; ++iteration) {
    const Vec f = forces(s, u);
    // Jacobian by central differences, column by column.
    std::array<double, kUnknowns * kUnknowns> J{};
    for (int k = 0; k < kUnknowns; ++k) {
      Vec up = u, down = u;
      up[k] += kDelta[k];
      down[k] -= kDelta[k];
      const Vec fu = forces(s, up), fd = forces(s, down);
      for (int i = 0; i < kUnknowns; ++i) J[k * kUnknowns + i] = (fu[i] - fd[i]) / (2.0 * kDelta[k]);
    }
    Vec step = f;
    int singular = 0;
    numeric::Simq(J.data(), step.data(), kUnknowns, singular);
    if (singular != 0) break;
    double largest = 0.0;
    for (int k = 0; k < kUnknowns; ++k) {
      u[k] -= step[k];
      largest = std::max(largest, std::fabs(step[k]));
    }
    out.iterations = iteration;
    settled = largest < 1e-13;
  }
  if (!settled) {
    // Keep what the newest iterate reached if it is better than the statics; otherwise the start.
    apply(s, u);
    const double reached = largest_acceleration(s);
    if (!(reached < out.accel_before)) {
      apply(s, start);
      return std::nullopt;
    }
  }
  apply(s, u);
  out.dZ_013 = u[0] - start[0];
  out.dFi_3 = u[1] - start[1];
  out.dlh_free = u[2] - start[2];
  out.dz02_0 = u[3] - start[3];
  out.dFi_tk = u[4] - start[4];
  out.accel_after = largest_acceleration(s);
  out.converged = settled;
  return out;
}

}  // namespace liftsim::run
