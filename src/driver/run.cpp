#include "driver/run.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <limits>
#include <string>

#include "driver/input.h"
#include "driver/report.h"
#include "driver/run_state.h"
#include "driver/statics.h"
#include "model/fct.h"
#include "numeric/xemi.h"
#include "output/history_files.h"
#include "output/outp.h"
#include "textio/fpe.h"
#include "textio/units.h"

namespace liftsim::driver {
namespace {

constexpr int kStaticaUnit = 14;

void open_files() {
  textio::open_unit(kInputUnit, "dani.dat");
  textio::open_unit(kReportUnit, "result.rez");
  textio::open_unit(kStaticaUnit, "statica.dat");
  for (const auto& file : output::kHistoryFiles) textio::open_unit(file.unit, file.name);
}

void close_files() {
  textio::close_unit(kReportUnit);
  textio::close_unit(kStaticaUnit);
  for (const auto& file : output::kHistoryFiles) textio::close_unit(file.unit);
}

void print_stats(const RunStats& s) {
  std::string line = "liftsim: derivative calls " + std::to_string(s.derivative_calls) +
                     ", output calls " + std::to_string(s.output_calls) + ", accepted steps " +
                     std::to_string(s.accepted_steps) + ", halvings " + std::to_string(s.halvings) +
                     ", doublings " + std::to_string(s.doublings) + ", integrator legs " +
                     std::to_string(s.legs) + ", smallest step ";
  char step[32];
  std::snprintf(step, sizeof step, "%.6g s\n", s.smallest_step);
  line += step;
  const ssize_t ignored = ::write(2, line.data(), line.size());
  (void)ignored;
}

}  // namespace

void run(bool want_stats) {
  textio::install_fp_traps();
  open_files();

  RunState s;
  s.hist.fi_roll = 0.0;
  s.hist.n_out = 0;
  s.pi = double{3.141592f};
  s.par.g = double{9.81f};

  read_input(s);

  const StaticsResult statics = compute_statics(
      s.par, s.y, s.refs, s.pi, [](const model::StateVector& y) { write_initial_state(y); });
  write_statics(statics, s.refs.lh_free);

  s.hist.y_prev = s.y;
  s.dery = s.w_err;
  // The rolling angle is accumulated over the whole run: a restart resumes the wheel-shaft angle
  // from the last output point, so the rolling angle must resume with it, or the tyre's
  // torsional deflection would jump by the whole angle rolled so far.
  s.hist.fi_roll = 0.0;

  RunStats stats;
  numeric::XemiStats leg_stats;
  auto fct = [&](double t, const double* y, double* dery) {
    ++stats.derivative_calls;
    model::Fct(t, y, dery, s.par, s.hist, s.refs);
  };
  auto outp = [&](double x, const double* y, const double*, int, int ndim, std::array<double, 5>&) {
    ++stats.output_calls;
    output::Outp(x, y, ndim, s.par, s.refs, s.obs, s.hist);
  };

  for (;;) {
    ++stats.legs;
    numeric::Xemi(s.prmt, s.y.data(), s.dery.data(), model::kNdim, s.ihlf, s.aux.data(), fct, outp,
                  &leg_stats);
    const double t_reached = s.hist.ypop[model::kNdim];
    if (!(t_reached - s.prmt[1] < 0.0)) break;
    write_leg_end(s.ihlf, t_reached);
    if (s.ihlf != 11) break;
    // Restart from the last output point with a smaller step and a looser error bound.
    s.prmt[2] = s.prmt[2] * double{0.9f};
    s.prmt[3] = s.prmt[3] * double{1.1f};
    for (int i = 0; i < model::kNdim; ++i) {
      s.dery[i] = s.w_err[i];
      s.y[i] = s.hist.ypop[i];
    }
    s.prmt[0] = t_reached;
  }

  close_files();
  if (want_stats) {
    stats.accepted_steps = leg_stats.accepted;
    stats.halvings = leg_stats.halvings;
    stats.doublings = leg_stats.doublings;
    stats.smallest_step = leg_stats.min_step;
    print_stats(stats);
  }
  textio::normal_stop();
}

}  // namespace liftsim::driver
