#include "driver/legs.h"

#include <algorithm>
#include <array>

#include "driver/report.h"
#include "model/fct.h"
#include "numeric/xemi.h"
#include "output/outp.h"

namespace liftsim::driver {

void run_leg(RunState& s, RunStats& stats) {
  auto fct = [&](double t, const double* y, double* dery) {
    ++stats.derivative_calls;
    model::Fct(t, y, dery, s.par, s.hist, s.refs);
  };
  auto outp = [&](double x, const double* y, const double*, int, int ndim, std::array<double, 5>&) {
    ++stats.output_calls;
    output::Outp(x, y, ndim, s.par, s.refs, s.obs, s.hist);
  };
  numeric::XemiStats leg;
  ++stats.legs;
  numeric::Xemi(s.prmt, s.y.data(), s.dery.data(), model::kNdim, s.ihlf, s.aux.data(), fct, outp,
                &leg);
  stats.accepted_steps += leg.accepted;
  stats.halvings += leg.halvings;
  stats.doublings += leg.doublings;
  if (leg.accepted > 0) {
    stats.smallest_step =
        stats.smallest_step == 0.0 ? leg.min_step : std::min(stats.smallest_step, leg.min_step);
  }
}

bool prepare_restart(RunState& s) {
  const double t_reached = s.hist.ypop[model::kNdim];
  if (!(t_reached - s.prmt[1] < 0.0)) return false;
  write_leg_end(s.ihlf, t_reached);
  if (s.ihlf != numeric::kIhlfStepTooSmall) return false;
  s.prmt[2] = s.prmt[2] * double{0.9f};
  s.prmt[3] = s.prmt[3] * double{1.1f};
  for (int i = 0; i < model::kNdim; ++i) {
    s.dery[i] = s.w_err[i];
    s.y[i] = s.hist.ypop[i];
  }
  s.prmt[0] = t_reached;
  return true;
}

void start_integration(RunState& s) {
  s.hist.y_prev = s.y;
  s.dery = s.w_err;
  s.hist.fi_roll = 0.0;
}

void integrate(RunState& s, RunStats& stats) {
  start_integration(s);
  do {
    run_leg(s, stats);
  } while (prepare_restart(s));
}

}  // namespace liftsim::driver
