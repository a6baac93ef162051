#include "run/simulation.h"

#include <algorithm>

#include "model/forces.h"
#include "output/history_files.h"
#include "run/report.h"
#include "run/run_state.h"
#include "textio/fpe.h"

namespace liftsim::run {
namespace {

using textio::ErrorCode;

// The state of one run, kept outside the frames that may be left by a floating-point trap.
struct Context {
  const RunSpec& setup;
  RunResult& result;
  RunState state;
  std::optional<textio::FileSet> files;
  std::optional<Report> report;
  std::optional<output::HistoryFiles> history;
  std::vector<output::PointObserver*> observers;
  std::size_t input_position = 0;
  std::vector<double> advances;  // of the legs that ended in a restart
  std::vector<double> starts;
  CreepWatch creep;
};

textio::RunError stall_error(std::string what, const RunState& s) {
  return textio::RunError{ErrorCode::M6110,
                          textio::Statement::math,
                          {},
                          "integration stalled: " + what + "; last output at t = " +
                              params::shortest(s.hist.ypop[model::kNdim]) + " s"};
}

// Whether the restarts so far show a run that cannot get on: the recent ones together advanced
// next to nothing.
std::optional<textio::RunError> stalled(const RestartLimit& limit, const RunState& s,
                                        const std::vector<double>& advances,
                                        const std::vector<double>& starts) {
  const auto window = static_cast<std::size_t>(limit.max_stalled);
  if (window == 0) return std::nullopt;
  if (advances.size() >= window) {
    double together = 0.0;
    for (std::size_t k = advances.size() - window; k < advances.size(); ++k) {
      together += advances[k];
    }
    if (together < limit.min_advance) {
      return stall_error(
          std::to_string(window) +
              " restarts in a row since t = " + params::shortest(starts[advances.size() - window]) +
              " s advanced the time by " + params::shortest(together) + " s together (less than " +
              params::shortest(limit.min_advance) + " s)",
          s);
    }
  }
  return std::nullopt;
}

// Whether the run was asked to stop; if so, the run's result says so.
bool stop_requested(Context& c) {
  const int signal = c.setup.stop != nullptr ? c.setup.stop->load(std::memory_order_relaxed) : 0;
  if (signal == 0) return false;
  c.result.outcome = Outcome::error;
  c.result.error = textio::interrupted_error(signal);
  return true;
}

// Statics, then the integration legs with their restarts. Runs with the floating-point traps on.
void integrate(Context& c) {
  RunState& s = c.state;
  RunResult& r = c.result;
  if (stop_requested(c)) return;
  StaticsResult& st = r.statics.emplace(find_equilibrium(s.model.par, s.model.road, s.y));
  if (c.report) c.report->initial_state(s.y);
  static_forces(s.model.par, s.y, s.pub.F_kp, st, s.model.refs);
  if (c.report) c.report->statics(st, s.model.refs.lh_free);
  s.model.engine = model::engine_curve(s.model.par);
  if (stop_requested(c)) return;

  start_integration(s);
  CreepWatch& creep = c.creep;
  if (c.setup.restarts.max_stalled > 0) {
    creep.window = c.setup.restarts.creep_points;
    creep.window_start = s.prmt[0];
    creep.limit_step = std::min(c.setup.restarts.creep_step, s.prmt[2] * 1e-6);
  }
  // How far each leg that ended in a restart got, and where it began.
  std::vector<double>& advances = c.advances;
  std::vector<double>& starts = c.starts;
  for (;;) {
    const double leg_start = s.prmt[0];
    run_leg(s, c.observers, r.stats, c.setup.stop, &creep);
    r.t_reached = s.hist.ypop[model::kNdim];
    if (creep.creeping) {
      r.outcome = Outcome::stalled;
      r.error = stall_error(std::to_string(creep.window) +
                                " output points in a row advanced the time by less than " +
                                params::shortest(creep.limit_step) + " s each on average",
                            s);
      return;
    }
    if (!ended_early(s)) return;  // a request that came at the last point is too late
    if (stop_requested(c)) return;
    r.leg_ends.emplace_back(s.ihlf, r.t_reached);
    if (c.report) c.report->leg_end(s.ihlf, r.t_reached);
    if (!wants_restart(s)) return;
    advances.push_back(r.t_reached - leg_start);
    starts.push_back(leg_start);
    if (auto stall = stalled(c.setup.restarts, s, advances, starts)) {
      r.outcome = Outcome::stalled;
      r.error = std::move(stall);
      return;
    }
    prepare_restart(s);
    ++r.restarts;
    // A leg whose largest step is too small to get anywhere is not started.
    const double remaining = s.prmt[1] - s.prmt[0];
    if (c.setup.restarts.max_stalled > 0 &&
        remaining / s.prmt[2] > c.setup.restarts.max_remaining_steps) {
      r.outcome = Outcome::stalled;
      r.error =
          stall_error("after " + std::to_string(r.restarts) + " restarts the largest step is " +
                          params::shortest(s.prmt[2]) + " s, so the remaining " +
                          params::shortest(remaining) + " s would take more than " +
                          params::shortest(c.setup.restarts.max_remaining_steps) + " steps",
                      s);
      return;
    }
  }
}

void run_case(Context& c) {
  const RunSpec& setup = c.setup;
  RunResult& r = c.result;
  RunState& s = c.state;

  // Open every file first, as a plain run always has.
  if (setup.legacy_files) {
    c.files.emplace(setup.dir_fd, setup.stop);
    if (!setup.input_text) c.files->open_input(kInputUnit, "dani.dat");
    c.files->open(kReportUnit, "result.rez");
    c.files->open(kStaticaUnit, "statica.dat");
    output::open_history_files(*c.files);
    c.report.emplace(*c.files, kReportUnit);
    c.history.emplace(&*c.files, setup.console);
  } else {
    if (!setup.input_text) {
      c.files.emplace(setup.dir_fd, setup.stop);
      c.files->open_for_reading(kInputUnit, "dani.dat");
    }
    c.history.emplace(nullptr, nullptr);
  }
  c.observers.push_back(&*c.history);
  for (output::PointObserver* o : setup.observers) c.observers.push_back(o);

  // Input: built-in values, the records, and the values set by name.
  r.values = params::built_in_case();
  for (const params::Assignment& a : setup.overrides.list()) {
    if (a.param->record == 0) a.param->ref(r.values) = a.value;
  }
  RecordSource source;
  std::string file_name = "dani.dat";
  if (setup.input_text) {
    source = memory_source(*setup.input_text, c.input_position);
  } else {
    source = [&c](std::string& record, std::size_t keep, int& error_number) {
      return c.files->read_record(kInputUnit, record, keep, error_number, kLongestRecord);
    };
  }
  EchoFn echo;
  if (c.report) {
    echo = [&c](const params::EchoBlock& b, const params::CaseValues& v) { c.report->echo(b, v); };
  }
  read_case(source, file_name, setup.overrides, r.values, echo, &r.notes);
  if (c.files && !setup.input_text) c.files->close(kInputUnit);
  r.input_read = true;
  if (setup.on_input) setup.on_input(r.values, r.notes);

  s.model.par = r.values.par;
  s.model.road = setup.road;
  s.prmt = r.values.prmt;
  s.obs = r.values.obs;
  // Initial state: the truck at rest on undeflected wheels, the load 0.6 m along the forks.
  s.y.fill(0.0);
  s.y[model::ix::Z_013] = double{0.401f};
  s.y[model::ix::X_C4] = double{0.6f};
  s.w_err.fill(double{0.0714285746f});
  s.hist.n_out = 0;
  s.hist.fi_roll = 0.0;
  s.hist.t_prev = s.prmt[0];
  s.hist.t_last = s.prmt[0];

  auto body = [&c] { integrate(c); };
  if (auto fault = textio::run_with_fp_traps(body)) {
    r.outcome = Outcome::error;
    r.error = std::move(fault);
    r.t_reached = s.hist.ypop[model::kNdim];
  }
}

}  // namespace

const char* outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::completed:
      return "completed";
    case Outcome::error:
      return "error";
    case Outcome::stalled:
      return "stalled";
  }
  return "?";
}

RunResult simulate(const RunSpec& setup) {
  RunResult result;
  Context c{setup, result, {}, {}, {}, {}, {}, 0, {}, {}, {}};
  try {
    run_case(c);
  } catch (const textio::RunFailure& failure) {
    result.outcome = Outcome::error;
    result.error = failure.error();
    result.t_reached = c.state.hist.ypop[model::kNdim];
  }
  return result;
}

}  // namespace liftsim::run
