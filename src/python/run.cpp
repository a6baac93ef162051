// A run, the parameter table and the column table for Python.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cmath>
#include <cstdio>

#include "python/bindings.h"
#include "python/case_args.h"
#include "python/polling.h"
#include "python/table.h"
#include "examples/bundled.h"
#include "params/text.h"
#include "results/column_collector.h"
#include "results/convergence.h"
#include "results/summary.h"
#include "results/summary_text.h"
#include "run/input.h"

namespace liftsim::python {
namespace {

// A grid of more rows than this is refused: 10^7 rows of all 34 columns take 2.7 GB.
constexpr double kGridRowLimit = 1e7;

void check_grid(double step, const params::Overrides& overrides) {
  if (!(std::isfinite(step) && step > 0.0)) {
    throw py::value_error("grid: the step must be a finite number of seconds > 0");
  }
  params::CaseValues v = params::built_in_case();
  for (const auto& a : overrides.list()) a.param->ref(v) = a.value;
  const double t_start = v.prmt[0], t_end = v.prmt[1];
  const double rows = std::floor((t_end - t_start) / step) + 1.0;
  if (rows <= kGridRowLimit) return;
  char count[32];
  std::snprintf(count, sizeof count, rows < 1e15 ? "%.0f" : "%.3g", rows);
  throw py::value_error("grid " + params::shortest(step) + " makes " + count +
                        " rows from t_start = " + params::shortest(t_start) +
                        " s to t_end = " + params::shortest(t_end) +
                        " s, more than the limit of 10000000; take a larger step");
}

// What a run hands back, gathered on the run's thread.
struct Gathered {
  std::vector<double> values;  // row after row
  std::size_t rows = 0;
  std::optional<std::string> summary;  // JSON, when the input was read
  std::optional<textio::RunError> error;
};

// The run, and with `convergence` the same case again with a tenth of the error bound and of the
// largest step, compared in the summary.
Gathered simulate(run::RunPlan& setup, const CaseArgs& a,
                  const std::vector<const results::Column*>& columns, std::optional<double> grid,
                  bool convergence) {
  results::ColumnCollector collector(columns.size());
  results::RowMaker rows(grid, columns, {&collector});
  results::SummaryObserver summary(a.thresholds, a.stop_when_decided);
  setup.observers = {&rows, &summary};
  const run::RunResult result = run::simulate(setup);
  Gathered out;
  out.rows = collector.rows();
  out.values = std::move(collector.values());
  out.error = result.error;
  if (!result.input_read) return out;
  results::Summary summed = results::summarize(result, summary);
  if (convergence && !result.error) {
    // A stop request that ends the tighter run raises KeyboardInterrupt once the call returns.
    (void)results::add_convergence(setup, result, a.thresholds, a.stop_when_decided, summed);
  }
  out.summary = results::summary_json(summed);
  return out;
}

}  // namespace

py::dict run_case(const py::dict& c, const std::vector<std::string>& column_names,
                  std::optional<double> grid, int files_fd, bool convergence) {
  const CaseArgs a = case_args(c);
  run::RunPlan setup;
  setup.overrides = a.overrides;
  setup.road = a.road;
  setup.drive = a.drive;
  setup.labels = a.labels;
  setup.kind = a.kind;
  setup.work = a.work;
  if (grid) check_grid(*grid, setup.overrides);
  std::string names;
  for (const std::string& n : column_names) names += (names.empty() ? "" : ",") + n;
  std::vector<const results::Column*> columns;
  std::string unknown;
  if (!results::select_columns(names, columns, unknown)) {
    throw py::value_error("unknown column '" + unknown + "'; liftsim.columns() lists them");
  }
  setup.input_text = a.input_text;
  setup.legacy_files = files_fd >= 0;
  if (setup.legacy_files) setup.dir_fd = files_fd;
  if (auto bad = run::check_plan(setup)) throw py::value_error(bad->message);

  std::atomic<int> stop{0};
  setup.stop = &stop;
  Gathered out;
  interruptibly(stop, [&] { out = simulate(setup, a, columns, grid, convergence); });

  py::list column_list;
  for (const results::Column* col : columns) column_list.append(std::string(col->name));
  const auto width = static_cast<py::ssize_t>(columns.size());
  py::dict result;
  result["columns"] = column_list;
  result["data"] = owned_array(std::move(out.values), {static_cast<py::ssize_t>(out.rows), width});
  result["summary"] = out.summary ? py::object(py::str(*out.summary)) : py::none();
  result["error"] = error_tuple(out.error);
  return result;
}

py::list param_table(const std::vector<std::string>& assignments,
                     std::optional<std::string> input) {
  const params::Overrides overrides = parse_assignments(assignments);
  const std::string text = input ? std::move(*input) : std::string(examples::dani_dat());
  params::CaseValues values = params::built_in_case();
  try {
    std::size_t position = 0;
    run::read_case(run::memory_source(text, position), "dani.dat", overrides, values, {});
  } catch (const textio::RunFailure& failure) {
    throw py::value_error(report_line(failure.error()));
  }
  py::list table;
  for (const params::Param& p : params::all_params()) {
    std::string_view allowed;
    params::in_range(p, 0.0, allowed);
    py::dict item;
    item["name"] = std::string(p.name);
    item["value"] = params::get(p, values);
    item["unit"] = std::string(p.unit);
    item["source"] = params::source_text(p, overrides.find(p).has_value());
    item["meaning"] = std::string(p.meaning);
    item["range"] = std::string(allowed);
    item["record"] = p.record == 0 ? py::object(py::none()) : py::int_(p.record);
    item["built_in"] = p.built_in ? py::object(py::float_(*p.built_in)) : py::none();
    item["settable"] = p.settable;
    item["echo_only"] = p.echo_only;
    table.append(item);
  }
  return table;
}

py::list column_table() {
  py::list table;
  for (const results::Column& c : results::columns()) {
    py::dict item;
    item["name"] = std::string(c.name);
    item["unit"] = std::string(c.unit);
    item["group"] = std::string(c.group);
    item["meaning"] = std::string(c.meaning);
    table.append(item);
  }
  return table;
}

}  // namespace liftsim::python
