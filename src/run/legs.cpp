#include "run/legs.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "model/fct.h"
#include "numeric/xemi.h"

namespace liftsim::run {

LegEnd run_leg(RunState& s, std::span<output::PointObserver* const> observers, RunStats& stats,
               const std::atomic<int>* stop, const WorkLimit& work) {
  output::StepOutput step_output(s.model, s.obs, s.pub, s.hist, observers);
  LegEnd end = LegEnd::integrator;
  auto fct = [&](double t, const double* y, double* dery) {
    ++stats.derivative_calls;
    model::Fct(t, y, dery, s.model, s.pub, s.hist);
  };
  auto outp = [&](double x, const double* y, const double* dery, int ihlf, int ndim,
                  std::array<double, 5>& prmt) {
    ++stats.output_calls;
    const bool finished = step_output(x, y, dery, ihlf, ndim);
    if (stop != nullptr && stop->load(std::memory_order_relaxed) != 0) {
      end = LegEnd::stop;
    } else if (work.derivative_calls > 0 && stats.derivative_calls > work.derivative_calls) {
      end = LegEnd::work;
    } else if (finished) {
      end = LegEnd::decided;
    } else {
      return;
    }
    prmt[4] = 1.0;
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
  return end;
}

bool ended_early(const RunState& s) {
  return s.hist.ypop[model::kNdim] - s.prmt[1] < 0.0;
}

bool wants_restart(const RunState& s) {
  return ended_early(s) && s.ihlf == numeric::kIhlfStepTooSmall;
}

void prepare_restart(RunState& s) {
  s.prmt[2] = s.prmt[2] * double{0.9f};
  s.prmt[3] = s.prmt[3] * double{1.1f};
  for (int i = 0; i < model::kNdim; ++i) {
    s.dery[i] = s.w_err[i];
    s.y[i] = s.hist.ypop[i];
  }
  s.prmt[0] = s.hist.ypop[model::kNdim];
}

void start_integration(RunState& s) {
  s.hist.y_prev = s.y;
  s.dery = s.w_err;
  s.hist.fi_roll = 0.0;
}

}  // namespace liftsim::run

namespace liftsim::run {

model::StateVector initial_state(const params::CaseValues& v) {
  model::StateVector y{};
  y[model::ix::X_013] = v.x_0;
  y[model::ix::Z_013] = double{0.401f};
  y[model::ix::X_C4] = v.x_load;
  // On a gradient the truck stands as it stood on level ground, mast and body turned together.
  if (v.slope != 0.0) y[model::ix::Fi_1] = std::atan(v.slope / 100.0);
  return y;
}

model::Road road_of(const params::CaseValues& v, const model::Road& profile) {
  return v.slope != 0.0 ? profile.tilted(-v.slope / 100.0) : profile;
}

void prepare_state(RunState& s, const params::CaseValues& v, const model::Road& road,
                   model::Kind kind, const model::Drive& drive) {
  s.model.par = v.par;
  s.model.road = road_of(v, road);
  s.model.kind = kind;
  s.model.drive = drive;
  s.model.hold_time = 10.0 * v.prmt[2];
  s.model.x_start = v.x_0;
  s.prmt = v.prmt;
  s.obs = v.obs;
  s.y = initial_state(v);
  s.w_err.fill(double{0.0714285746f});
  s.hist.n_out = 0;
  s.hist.fi_roll = 0.0;
  s.hist.t_prev = s.prmt[0];
  s.hist.t_last = s.prmt[0];
}

}  // namespace liftsim::run
