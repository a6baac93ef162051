// The C++ side of the Python package liftsim: runs, studies, the parameter table and the column
// table as plain Python values and NumPy arrays. liftsim/__init__.py shapes them into the public
// API.
//
// Every run and study goes on threads of their own with Python's lock released, while the calling
// thread answers signals (polling.h). The floating-point traps are those threads' alone, and no
// Python code runs on them: results are gathered in C++ and handed over once the work is done.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "examples/bundled.h"
#include "python/bindings.h"
#include "results/summary.h"
#include "run/simulation.h"

PYBIND11_MODULE(_liftsim, m) {
  namespace py = pybind11;
  using namespace liftsim;
  using namespace liftsim::python;
  m.doc() = "The compiled part of liftsim; use the package liftsim instead.";
  m.def("run", &run_case, py::arg("case"), py::arg("columns"), py::arg("grid"),
        py::arg("files_fd"), py::arg("convergence"),
        "One run: a dict of 'columns' (names), 'data' (rows x columns, float64), 'summary' "
        "(JSON text or None) and 'error' (None or (code, message, statement, file)).");
  m.def("sweep", &sweep_table, py::arg("case"), py::arg("vary"), py::arg("jobs"),
        py::arg("shard"), py::arg("check_only"),
        "A sweep: {'rows', 'axes', 'columns': [(name, array), ...]}; check_only runs nothing.");
  m.def("capacity", &capacity_table, py::arg("case"), py::arg("heights"), py::arg("across"),
        py::arg("mass"), py::arg("resolution"), py::arg("convergence"), py::arg("jobs"),
        py::arg("shard"), py::arg("check_only"),
        "A capacity chart, answered as a sweep is.");
  m.def("tilt_test", &tilt_table, py::arg("case"), py::arg("heights"), py::arg("resolution"),
        py::arg("margin"), py::arg("require"), py::arg("jobs"), py::arg("shard"),
        py::arg("check_only"),
        "Tilting-table tests, answered as a sweep is.");
  m.def("params", &param_table, py::arg("assignments"), py::arg("input"),
        "The parameter table as a list of dicts, with the values a run would use.");
  m.def("columns", &column_table, "The column table as a list of dicts.");
  m.attr("example_input") = py::bytes(std::string(examples::dani_dat()));
  py::list verdicts, outcomes;
  for (int v = 0; v <= static_cast<int>(results::Verdict::out_of_model); ++v) {
    verdicts.append(results::verdict_name(static_cast<results::Verdict>(v)));
  }
  for (auto o : {run::Outcome::completed, run::Outcome::error, run::Outcome::stalled,
                 run::Outcome::decided, run::Outcome::invalid}) {
    outcomes.append(run::outcome_name(o));
  }
  m.attr("verdicts") = py::tuple(verdicts);
  m.attr("outcomes") = py::tuple(outcomes);
}
