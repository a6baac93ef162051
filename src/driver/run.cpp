#include "driver/run.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "driver/input.h"
#include "driver/legs.h"
#include "driver/report.h"
#include "driver/run_state.h"
#include "driver/statics.h"
#include "output/history_files.h"
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
  const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

}  // namespace

RunStats run_simulation() {
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

  RunStats stats;
  integrate(s, stats);

  close_files();
  return stats;
}

void run(bool want_stats) {
  textio::install_fp_traps();
  const RunStats stats = run_simulation();
  if (want_stats) print_stats(stats);
  textio::normal_stop();
}

}  // namespace liftsim::driver
