#include "run/legs.h"

#include <algorithm>
#include <array>

#include "model/fct.h"
#include "numeric/xemi.h"

namespace liftsim::run {

void run_leg(RunState& s, std::span<output::PointObserver* const> observers, RunStats& stats,
             const std::atomic<int>* stop, CreepWatch* creep) {
  output::StepOutput step_output(s.model, s.obs, s.pub, s.hist, observers);
  auto fct = [&](double t, const double* y, double* dery) {
    ++stats.derivative_calls;
    model::Fct(t, y, dery, s.model, s.pub, s.hist);
  };
  auto outp = [&](double x, const double* y, const double* dery, int ihlf, int ndim,
                  std::array<double, 5>& prmt) {
    ++stats.output_calls;
    step_output(x, y, dery, ihlf, ndim);
    if (stop != nullptr && stop->load(std::memory_order_relaxed) != 0) prmt[4] = 1.0;
    if (creep != nullptr && creep->limit_step > 0.0 && ++creep->points >= creep->window) {
      // The average step over the window, from the time it covered.
      if ((x - creep->window_start) / static_cast<double>(creep->points) < creep->limit_step) {
        creep->creeping = true;
        prmt[4] = 1.0;
      }
      creep->points = 0;
      creep->window_start = x;
    }
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
