// Sweeps, capacity charts and tilting-table tests for Python: checked as the command line checks
// them (the same messages, raised as ValueError before any case runs), computed on the library's
// threads without Python's lock, their typed rows gathered into columns.
#include <pybind11/stl.h>

#include <atomic>
#include <cmath>
#include <new>
#include <string>

#include "python/bindings.h"
#include "python/case_args.h"
#include "python/polling.h"
#include "python/table.h"
#include "params/text.h"
#include "sweep/study.h"
#include "sweep/tilt.h"

namespace liftsim::python {
namespace {

using Kind = Table::Kind;

std::vector<sweep::Axis> parse_axes(const std::vector<std::string>& vary) {
  std::vector<sweep::Axis> axes;
  for (const std::string& v : vary) {
    sweep::Axis axis;
    if (auto bad = sweep::parse_axis(v, axis)) throw py::value_error("--vary: " + bad->message);
    axes.push_back(std::move(axis));
  }
  return axes;
}

// The heights given, or the base case's own load height zc_4 (the base case's input must read).
sweep::Axis parse_heights(const std::optional<std::string>& heights, const sweep::BaseCase& base) {
  if (heights) return std::move(parse_axes({*heights})[0]);
  const params::Param& height = *params::find_param("zc_4");
  params::CaseValues values;
  if (auto failure = sweep::base_values(base, values)) throw py::value_error(report_line(*failure));
  return sweep::Axis{&height, {params::get(height, values)}};
}

sweep::Shard parse_shard(const ShardText& text) {
  sweep::Shard shard;
  if (text) {
    if (auto bad = sweep::parse_shard(*text, shard)) throw py::value_error(bad->message);
  }
  return shard;
}

// Every case reads the same records: a broken dani.dat is refused once, before any case.
void check_input(const sweep::BaseCase& base) {
  params::CaseValues values;
  if (auto failure = sweep::base_values(base, values)) {
    throw py::value_error(report_line(*failure));
  }
}

std::string verdict_text(const std::optional<results::Verdict>& v) {
  return v ? results::verdict_name(*v) : "";
}

// Room for every row is taken before any case runs, so that a study too large for memory fails
// then, not hours later, and no column is copied as it grows.
void make_room(Table& table, std::int64_t rows, const char* what) {
  try {
    table.reserve(static_cast<std::size_t>(rows));
  } catch (const std::bad_alloc&) {
    PyErr_SetString(PyExc_MemoryError,
                    ("no memory for the rows of " + std::to_string(rows) + " " + what +
                     "; run the study in shards (shard=K/N) or with the command line, which "
                     "writes its rows to a file as they come")
                        .c_str());
    throw py::error_already_set();
  }
}

// A sweep's columns: those of its result file, then the rest of each case's summary.
void sweep_columns(Table& t, const std::vector<sweep::Axis>& axes) {
  t.add("case", Kind::whole);
  for (const sweep::Axis& a : axes) t.add(std::string(a.param->name), Kind::real);
  t.add("outcome", Kind::text);
  t.add("verdict", Kind::text);
  for (const char* n :
       {"t_reached", "min_F_kp", "t_min_F_kp", "lift_off_t", "max_abs_Fi_3", "load_travel"}) {
    t.add(n, Kind::real);
  }
  t.add("restarts", Kind::whole);
  t.add("derivative_calls", Kind::whole);
  t.add("error", Kind::text);
  t.add("message", Kind::text);
  t.add("t_end", Kind::real);
  t.add("output_points", Kind::whole);
  t.add("F_kp_0", Kind::real);
  t.add("F_tp_0", Kind::real);
  t.add("lifted_at_end", Kind::flag);
  for (const char* n : {"tip_t", "decided_t", "t_max_abs_Fi_3", "max_abs_Fi_1", "travel",
                        "min_F_13", "max_F_13", "max_F_12", "legacy_arm_pitch"}) {
    t.add(n, Kind::real);
  }
  t.add("out_of_model", Kind::text);
}

void sweep_row(Table& t, const sweep::SweepRow& row) {
  const results::Summary& s = row.summary;
  const results::Facts& f = s.facts;
  // Extremes over no output point at all are none.
  auto extreme = [&f](double v) { return f.points > 0 ? std::optional(v) : std::nullopt; };
  t.whole(row.index);
  for (double v : row.values) t.real(v);
  t.text(run::outcome_name(s.outcome));
  t.text(verdict_text(row.verdict));
  t.real(s.t_reached);
  t.maybe(extreme(f.min_F_kp));
  t.maybe(extreme(f.t_min_F_kp));
  t.maybe(f.lift_off_t);
  t.maybe(extreme(f.max_abs_Fi_3));
  t.maybe(extreme(f.load_travel));
  t.whole(s.restarts);
  t.whole(s.derivative_calls);
  t.text(s.error ? textio::error_code_text(s.error->code) : "");
  t.text(s.error ? s.error->message : "");
  t.real(s.t_end);
  t.whole(s.output_points);
  t.maybe(s.F_kp_0);
  t.maybe(s.F_tp_0);
  t.flag(f.lifted_at_end);
  t.maybe(f.tip_t);
  t.maybe(f.decided_t);
  t.maybe(extreme(f.t_max_abs_Fi_3));
  t.maybe(extreme(f.max_abs_Fi_1));
  t.maybe(extreme(f.travel));
  t.maybe(extreme(f.min_F_13));
  t.maybe(extreme(f.max_F_13));
  t.maybe(extreme(f.max_F_12));
  t.maybe(s.legacy_arm_pitch);
  t.text(f.out_of_model ? f.out_of_model->quantity : "");
}

void capacity_columns(Table& t, const sweep::CapacityPlan& plan) {
  t.add("case", Kind::whole);
  t.add(std::string(plan.heights.param->name), Kind::real);
  if (plan.across) t.add(std::string(plan.across->param->name), Kind::real);
  for (const char* n : {"capacity_stable", "capacity_no_tip", "min_F_kp_stable", "min_F_kp_no_tip"})
    t.add(n, Kind::real);
  t.add("stable_note", Kind::text);
  t.add("no_tip_note", Kind::text);
  t.add("runs", Kind::whole);
  if (plan.convergence) {
    t.add("shift_stable", Kind::real);
    t.add("shift_no_tip", Kind::real);
  }
}

void capacity_row(Table& t, std::int64_t index, const sweep::CapacityRow& row, bool convergence) {
  t.whole(index);
  t.real(row.height);
  if (row.across) t.real(*row.across);
  t.maybe(row.stable.mass);
  t.maybe(row.no_tip.mass);
  t.maybe(row.stable.min_F_kp);
  t.maybe(row.no_tip.min_F_kp);
  t.text(row.stable.note);
  t.text(row.no_tip.note);
  t.whole(row.runs);
  if (convergence) {
    t.maybe(row.stable.shift);
    t.maybe(row.no_tip.shift);
  }
}

void tilt_columns(Table& t, const sweep::Axis& heights) {
  t.add("case", Kind::whole);
  t.add(std::string(heights.param->name), Kind::real);
  t.add("critical_slope", Kind::real);
  t.add("rigid_slope", Kind::real);
  t.add("below_verdict", Kind::text);
  t.add("above_verdict", Kind::text);
  t.add("pass", Kind::text);
  t.add("note", Kind::text);
  t.add("runs", Kind::whole);
}

void tilt_row(Table& t, std::int64_t index, const sweep::TiltRow& row) {
  t.whole(index);
  t.real(row.height);
  t.maybe(row.critical);
  t.real(row.rigid);
  t.text(verdict_text(row.below));
  t.text(verdict_text(row.above));
  t.text(row.pass ? (*row.pass ? "yes" : "no") : "");
  t.text(row.note);
  t.whole(row.runs);
}

// What a study hands back: {"rows": the rows of its shard, "axes": [(name, values), ...], and
// unless only checked "columns": [(name, array), ...]}.
py::dict answer(std::int64_t rows, const std::vector<sweep::Axis>& axes, Table* table) {
  py::dict out;
  out["rows"] = rows;
  py::list listed;
  for (const sweep::Axis& a : axes) {
    std::vector<double> values = a.values;
    const auto n = static_cast<py::ssize_t>(values.size());
    listed.append(py::make_tuple(std::string(a.param->name), owned_array(std::move(values), {n})));
  }
  out["axes"] = listed;
  if (table != nullptr) out["columns"] = table->to_python();
  return out;
}

// A study that failed as a whole (its sink or save folder; neither is used here, so never).
void check_end(const sweep::StudyEnd& end) {
  if (end.error) throw std::runtime_error(report_line(*end.error));
}

}  // namespace

py::dict sweep_table(const py::dict& c, const std::vector<std::string>& vary, int jobs,
                       const ShardText& shard, bool check_only) {
  sweep::SweepPlan plan;
  plan.axes = parse_axes(vary);
  plan.base = base_case(case_args(c));
  plan.shard = parse_shard(shard);
  plan.threads = jobs;
  if (auto bad = sweep::check_sweep(plan)) throw py::value_error(bad->message);
  check_input(plan.base);
  const std::int64_t rows = plan.shard.size(sweep::case_count(plan.axes));
  if (check_only) return answer(rows, plan.axes, nullptr);

  std::atomic<int> stop{0};
  plan.stop = &stop;
  Table table;
  sweep_columns(table, plan.axes);
  make_room(table, rows, "cases");
  sweep::StudyEnd end;
  interruptibly(stop, [&] {
    end = sweep::run_sweep(plan, 0, [&](sweep::SweepRow& row) { sweep_row(table, row); });
  });
  check_end(end);
  return answer(rows, plan.axes, &table);
}

py::dict capacity_table(const py::dict& c, const std::optional<std::string>& heights,
                        const std::optional<std::string>& across, const MassArg& mass,
                        double resolution, bool convergence, int jobs, const ShardText& shard,
                        bool check_only) {
  sweep::CapacityPlan plan;
  std::vector<sweep::Axis> axes = parse_axes(heights ? std::vector{*heights} : std::vector<std::string>{});
  if (across) plan.across = std::move(parse_axes({*across})[0]);
  if (const auto* text = std::get_if<std::string>(&mass)) {
    const auto colon = text->find(':');
    if (colon == std::string::npos) throw py::value_error("--mass '" + *text + "' is not LO:HI");
    const std::string_view m = *text;
    for (const auto& [part, into] : {std::pair{m.substr(0, colon), &plan.mass.lo},
                                     std::pair{m.substr(colon + 1), &plan.mass.hi}}) {
      if (const auto read = params::read_number(part, *into); read != params::NumberRead::ok) {
        throw py::value_error("--mass: " + params::number_problem(part, read));
      }
    }
  } else {
    std::tie(plan.mass.lo, plan.mass.hi) = std::get<std::pair<double, double>>(mass);
  }
  plan.mass.resolution = resolution;
  plan.base = base_case(case_args(c));
  plan.heights = axes.empty() ? parse_heights(std::nullopt, plan.base) : std::move(axes[0]);
  plan.convergence = convergence;
  plan.shard = parse_shard(shard);
  plan.threads = jobs;
  if (auto bad = sweep::check_capacity(plan)) throw py::value_error(bad->message);
  check_input(plan.base);
  std::vector<sweep::Axis> listed{plan.heights};
  if (plan.across) listed.push_back(*plan.across);
  const std::int64_t rows = plan.shard.size(sweep::capacity_rows(plan));
  if (check_only) return answer(rows, listed, nullptr);

  std::atomic<int> stop{0};
  plan.stop = &stop;
  Table table;
  capacity_columns(table, plan);
  make_room(table, rows, "heights");
  sweep::StudyEnd end;
  interruptibly(stop, [&] {
    end = sweep::run_capacity(plan, 0, [&](std::int64_t index, sweep::CapacityRow& row) {
      capacity_row(table, index, row, convergence);
    });
  });
  check_end(end);
  return answer(rows, listed, &table);
}

py::dict tilt_table(const py::dict& c, const std::optional<std::string>& heights,
                    double resolution, double margin, std::optional<double> require, int jobs,
                    const ShardText& shard, bool check_only) {
  sweep::TiltPlan plan;
  std::vector<sweep::Axis> axes = parse_axes(heights ? std::vector{*heights} : std::vector<std::string>{});
  plan.base = base_case(case_args(c));
  plan.heights = axes.empty() ? parse_heights(std::nullopt, plan.base) : std::move(axes[0]);
  plan.options.resolution = resolution;
  plan.options.margin = margin;
  plan.options.require = require;
  plan.shard = parse_shard(shard);
  plan.threads = jobs;
  if (auto bad = sweep::check_tilt(plan)) throw py::value_error(bad->message);
  check_input(plan.base);
  const std::int64_t rows =
      plan.shard.size(static_cast<std::int64_t>(plan.heights.values.size()));
  if (check_only) return answer(rows, {plan.heights}, nullptr);

  std::atomic<int> stop{0};
  plan.stop = &stop;
  Table table;
  tilt_columns(table, plan.heights);
  make_room(table, rows, "heights");
  sweep::StudyEnd end;
  interruptibly(stop, [&] {
    end = sweep::run_tilt(plan, 0, [&](std::int64_t index, sweep::TiltRow& row) {
      tilt_row(table, index, row);
    });
  });
  check_end(end);
  return answer(rows, {plan.heights}, &table);
}

}  // namespace liftsim::python
