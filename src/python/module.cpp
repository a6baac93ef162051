// The C++ side of the Python package liftsim: runs, the parameter table and the column table as
// plain Python values and NumPy arrays. liftsim/__init__.py shapes them into the public API.
//
// A run goes on a worker thread of its own with Python's lock released; the calling thread wakes
// every 50 ms to let Python run its signal handlers, and when one raises (Ctrl-C's
// KeyboardInterrupt, say) asks the run to stop and raises that exception once the run has
// returned. The floating-point traps are the worker's alone, and no Python code runs on it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "examples/bundled.h"
#include "params/overrides.h"
#include "params/road_profile.h"
#include "results/column_collector.h"
#include "results/summary.h"
#include "results/summary_text.h"
#include "run/input.h"
#include "run/simulation.h"

namespace py = pybind11;

namespace liftsim::python {
namespace {

using namespace std::chrono_literals;

// How often the calling thread looks for signals while a run is under way.
constexpr auto kSignalPoll = 50ms;

// The values set by name, checked as the command line checks --set: the first bad one raises
// ValueError with the command line's message.
params::Overrides parse_assignments(const std::vector<std::string>& assignments) {
  params::Overrides overrides;
  for (const std::string& text : assignments) {
    params::Overrides one;
    if (auto bad = params::parse_assignment(text, one)) throw py::value_error(bad->message);
    overrides.add(one);
  }
  params::CaseValues v = params::built_in_case();
  for (const auto& a : overrides.list()) a.param->ref(v) = a.value;
  if (auto bad = params::check_case(v)) throw py::value_error(bad->message);
  return overrides;
}

const char* statement_name(textio::Statement s) {
  switch (s) {
    case textio::Statement::open:
      return "OPEN";
    case textio::Statement::read:
      return "READ";
    case textio::Statement::write:
      return "WRITE";
    case textio::Statement::close:
      return "CLOSE";
    case textio::Statement::math:
      return "MATH";
    case textio::Statement::signal:
      return "SIGNAL";
  }
  return "?";
}

py::object error_tuple(const std::optional<textio::RunError>& e) {
  if (!e) return py::none();
  return py::make_tuple(textio::error_code_text(e->code), e->message, statement_name(e->statement),
                        e->file);
}

// What a run hands back, gathered on the worker thread.
struct Gathered {
  std::vector<double> values;  // row after row
  std::size_t rows = 0;
  std::optional<std::string> summary;  // JSON, when the input was read
  std::optional<textio::RunError> error;
};

Gathered simulate(run::RunSpec& setup, const std::vector<const results::Column*>& columns) {
  results::ColumnCollector collector(columns.size());
  results::RowMaker rows(std::nullopt, columns, {&collector});
  results::SummaryObserver summary;
  setup.observers = {&rows, &summary};
  const run::RunResult result = run::simulate(setup);
  Gathered out;
  out.rows = collector.rows();
  out.values = std::move(collector.values());
  out.error = result.error;
  if (result.input_read) out.summary = results::summary_json(results::summarize(result, summary));
  return out;
}

// Runs `setup` on a worker thread while this one, without Python's lock, looks for signals.
Gathered run_interruptibly(run::RunSpec& setup,
                           const std::vector<const results::Column*>& columns) {
  std::atomic<int> stop{0};
  setup.stop = &stop;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  Gathered out;
  std::exception_ptr failure;
  std::optional<py::error_already_set> raised;
  {
    py::gil_scoped_release unlocked;
    std::thread worker([&] {
      try {
        out = simulate(setup, columns);
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard lock(mutex);
      done = true;
      ended.notify_one();
    });
    for (;;) {
      std::unique_lock lock(mutex);
      if (ended.wait_for(lock, kSignalPoll, [&] { return done; })) break;
      lock.unlock();
      if (raised) continue;
      const py::gil_scoped_acquire locked;
      // Python's handlers run here, on the main thread only; one that raises stops the run.
      if (PyErr_CheckSignals() != 0) {
        raised.emplace();
        stop = SIGINT;
      }
    }
    worker.join();
  }
  if (raised) throw std::move(*raised);
  if (failure) std::rethrow_exception(failure);
  return out;
}

py::dict run_case(const std::vector<std::string>& assignments, std::optional<std::string> input,
                  std::optional<std::string> road_text, const std::string& road_name,
                  const std::vector<std::string>& column_names, int files_fd,
                  const std::string& model, std::optional<std::int64_t> work_limit) {
  run::RunSpec setup;
  setup.overrides = parse_assignments(assignments);
  if (model == "sound") {
    setup.kind = model::Kind::sound;
  } else if (model != "legacy") {
    throw py::value_error("model '" + model + "': use legacy or sound");
  }
  if (work_limit) {
    if (*work_limit < 0) throw py::value_error("work_limit must be 0 (no limit) or more");
    setup.work.derivative_calls = *work_limit;
  }
  if (road_text) {
    setup.labels.road = "profile " + road_name;
    if (auto bad = params::parse_road(*road_text, road_name, setup.road)) {
      throw py::value_error(bad->message);
    }
  }
  std::string names;
  for (const std::string& n : column_names) names += (names.empty() ? "" : ",") + n;
  std::vector<const results::Column*> columns;
  std::string unknown;
  if (!results::select_columns(names, columns, unknown)) {
    throw py::value_error("unknown column '" + unknown + "'; liftsim.columns() lists them");
  }
  setup.input_text = input ? std::move(*input) : std::string(examples::dani_dat());
  setup.legacy_files = files_fd >= 0;
  if (setup.legacy_files) setup.dir_fd = files_fd;
  if (auto bad = run::check_spec(setup)) throw py::value_error(bad->message);

  Gathered out = run_interruptibly(setup, columns);

  py::list column_list;
  for (const results::Column* c : columns) column_list.append(std::string(c->name));
  const auto width = static_cast<py::ssize_t>(columns.size());
  auto block = std::make_unique<std::vector<double>>(std::move(out.values));
  double* const data = block->data();
  py::capsule owner(block.get(), [](void* p) { delete static_cast<std::vector<double>*>(p); });
  block.release();
  py::array_t<double> array(
      {static_cast<py::ssize_t>(out.rows), width},
      {width * static_cast<py::ssize_t>(sizeof(double)), static_cast<py::ssize_t>(sizeof(double))},
      data, owner);
  py::dict result;
  result["columns"] = column_list;
  result["data"] = array;
  result["summary"] = out.summary ? py::object(py::str(*out.summary)) : py::none();
  result["error"] = error_tuple(out.error);
  return result;
}

py::list param_table(const std::vector<std::string>& assignments,
                     std::optional<std::string> input) {
  const params::Overrides overrides = parse_assignments(assignments);
  const std::string text = input ? std::move(*input) : std::string(examples::dani_dat());
  params::CaseValues values = params::built_in_case();
  for (const auto& a : overrides.list()) {
    if (a.param->record == 0) a.param->ref(values) = a.value;
  }
  try {
    std::size_t position = 0;
    run::read_case(run::memory_source(text, position), "dani.dat", overrides, values, {});
  } catch (const textio::RunFailure& failure) {
    const textio::RunError& e = failure.error();
    throw py::value_error(std::string(textio::error_code_text(e.code)) + " " +
                          statement_name(e.statement) + "(" + e.file + "): " + e.message);
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

}  // namespace
}  // namespace liftsim::python

PYBIND11_MODULE(_liftsim, m) {
  using namespace liftsim::python;
  m.doc() = "The compiled part of liftsim; use the package liftsim instead.";
  m.def("run", &run_case, py::arg("assignments"), py::arg("input"), py::arg("road_text"),
        py::arg("road_name"), py::arg("columns"), py::arg("files_fd"), py::arg("model"),
        py::arg("work_limit"),
        "One run: a dict of 'columns' (names), 'data' (rows x columns, float64), 'summary' "
        "(JSON text or None) and 'error' (None or (code, message, statement, file)).");
  m.def("params", &param_table, py::arg("assignments"), py::arg("input"),
        "The parameter table as a list of dicts, with the values a run would use.");
  m.def("columns", &column_table, "The column table as a list of dicts.");
  m.attr("example_input") = py::bytes(std::string(liftsim::examples::dani_dat()));
}
