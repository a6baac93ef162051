#include "run/simulation.h"

#include <algorithm>
#include <cmath>

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
  const RunPlan& setup;
  RunResult& result;
  RunState state;
  std::optional<textio::FileSet> files;
  std::optional<Report> report;
  std::optional<output::HistoryFiles> history;
  std::vector<output::PointObserver*> observers;
  std::size_t input_position = 0;
};

textio::RunError work_error(const RunState& s, const RunStats& stats, const WorkLimit& work) {
  return textio::RunError{
      ErrorCode::M6110,
      textio::Statement::math,
      {},
      "integration stalled: " + std::to_string(stats.derivative_calls) +
          " derivative calls (the work limit is " + std::to_string(work.derivative_calls) +
          ", a run of the example needs about 20000) brought the run only to t = " +
          params::shortest(s.hist.ypop[model::kNdim]) + " s of " + params::shortest(s.prmt[1]) +
          " s after " + std::to_string(stats.legs - 1) + " restarts; the largest step is now " +
          params::shortest(s.prmt[2]) + " s"};
}

// Whether the run was asked to stop; if so, the run's result says so.
bool stop_requested(Context& c) {
  const int signal = c.setup.stop != nullptr ? c.setup.stop->load(std::memory_order_relaxed) : 0;
  if (signal == 0) return false;
  c.result.outcome = Outcome::error;
  c.result.error = textio::interrupted_error(signal);
  return true;
}

// The truck at speed v along the road, its wheels rolling without slip on the deflections of the
// standing truck.
model::Wheels wheels_of(const RunState& s) {
  namespace ix = model::ix;
  const double x_k = s.y[ix::X_013] - s.model.par.L_b * std::cos(s.y[ix::Fi_3]);
  const double z_k = s.y[ix::Z_013] + s.model.par.L_b * std::sin(s.y[ix::Fi_3]);
  return model::wheel_contacts(s.model, s.y[ix::X_013], s.y[ix::Z_013], x_k, z_k);
}

void start_moving(RunState& s, double v) {
  namespace ix = model::ix;
  const double slope = s.model.road.slope(s.y[ix::X_013]);
  const double c = 1.0 / std::sqrt(1.0 + slope * slope);
  s.y[ix::VX_013] = v * c;
  s.y[ix::VZ_013] = v * (slope * c);
  s.y[ix::VFi_tk] = v / (s.model.kind == model::Kind::sound ? s.model.r_roll : wheels_of(s).r);
}

// Statics, then the integration legs with their restarts. Runs with the floating-point traps on.
void integrate(Context& c) {
  RunState& s = c.state;
  RunResult& r = c.result;
  if (stop_requested(c)) return;
  const bool sound = s.model.kind == model::Kind::sound;
  StaticsResult& st = r.statics.emplace(find_equilibrium(s.model.par, s.model.road, s.y));
  if (c.report && !sound) c.report->initial_state(s.y);
  static_forces(s.model.par, s.y, s.pub.F_kp, st, s.model.refs);
  s.model.engine = model::engine_curve(s.model.par);
  if (sound) {
    // The sound model starts from its own equilibrium; the report shows that start. Its traction
    // tyre rolls on the radius of the standing truck.
    s.model.r_roll = wheels_of(s).r;
    r.settling = settle(s);
    if (c.report) c.report->initial_state(s.y);
  }
  if (c.report) c.report->statics(st, s.model.refs.lh_free);
  if (r.values.v_0 != 0.0) start_moving(s, r.values.v_0);
  if (stop_requested(c)) return;

  start_integration(s);
  for (;;) {
    const LegEnd end = run_leg(s, c.observers, r.stats, c.setup.stop, c.setup.work);
    r.t_reached = s.hist.ypop[model::kNdim];
    // A run that reached its end time has completed, whatever else came at its last point.
    if (!ended_early(s)) return;
    switch (end) {
      case LegEnd::stop:
        stop_requested(c);
        return;
      case LegEnd::work:
        r.outcome = Outcome::stalled;
        r.error = work_error(s, r.stats, c.setup.work);
        return;
      case LegEnd::decided:
        r.outcome = Outcome::decided;
        return;
      case LegEnd::integrator:
        break;
    }
    if (stop_requested(c)) return;
    if (c.report) c.report->leg_end(s.ihlf, r.t_reached);
    if (!wants_restart(s)) return;
    prepare_restart(s);
    ++r.restarts;
  }
}

void run_case(Context& c) {
  const RunPlan& setup = c.setup;
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

  prepare_state(s, r.values, setup.road, setup.kind, setup.drive);

  auto body = [&c] { integrate(c); };
  if (auto fault = textio::run_with_fp_traps(body)) {
    r.outcome = Outcome::error;
    r.error = std::move(fault);
    r.t_reached = s.hist.ypop[model::kNdim];
  }
}

}  // namespace

std::optional<params::ParseError> check_plan(const RunPlan& setup) {
  params::CaseValues v = params::built_in_case();
  for (const params::Assignment& a : setup.overrides.list()) {
    if (auto bad = params::check_value(*a.param, a.value)) return bad;
    a.param->ref(v) = a.value;
  }
  return params::check_case(v);
}

const char* outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::completed:
      return "completed";
    case Outcome::error:
      return "error";
    case Outcome::stalled:
      return "stalled";
    case Outcome::decided:
      return "decided";
    case Outcome::invalid:
      return "invalid";
  }
  return "?";
}

RunResult simulate(const RunPlan& setup) {
  RunResult result;
  result.kind = setup.kind;
  result.labels = setup.labels;
  if (auto bad = check_plan(setup)) {
    result.outcome = Outcome::invalid;
    result.problem = bad->message;
    return result;
  }
  Context c{setup, result, {}, {}, {}, {}, {}, 0};
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
