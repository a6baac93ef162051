// The functions of the compiled module liftsim._liftsim; liftsim/__init__.py shapes them into the
// public API (and _liftsim.pyi states their types).
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace liftsim::python {

namespace py = pybind11;

// One run of the case (see case_args.h): a dict of 'columns' (names), 'data' (rows x columns,
// float64), 'summary' (JSON text, or None when the input could not be read) and 'error'.
py::dict run_case(const py::dict& c, const std::vector<std::string>& column_names,
                  std::optional<double> grid, int files_fd, bool convergence);

// The parameter table with the values a run of `assignments` and `input` would use.
py::list param_table(const std::vector<std::string>& assignments, std::optional<std::string> input);

// The column table.
py::list column_table();

// A study's shard: "K/N", or none for all of it.
using ShardText = std::optional<std::string>;

// A study hands back {"rows": the rows (cases or heights) of its shard, "axes": [(name, values),
// ...] and "columns": [(name, array), ...]}; with `check_only` everything is checked, nothing
// runs and there are no "columns".

// A sweep of the base case over the axes (NAME=FROM:TO:STEP or NAME=V1,V2,...).
py::dict sweep_table(const py::dict& c, const std::vector<std::string>& vary, int jobs,
                       const ShardText& shard, bool check_only);

// The capacity chart over the heights (one axis; none: the base case's own zc_4), drawn across a
// second axis when given; masses as "LO:HI" or (lo, hi).
using MassArg = std::variant<std::string, std::pair<double, double>>;
py::dict capacity_table(const py::dict& c, const std::optional<std::string>& heights,
                        const std::optional<std::string>& across, const MassArg& mass,
                        double resolution, bool convergence, int jobs, const ShardText& shard,
                        bool check_only);

// The tilting-table test at each height (one axis; none: the base case's own zc_4).
py::dict tilt_table(const py::dict& c, const std::optional<std::string>& heights,
                    double resolution, double margin, std::optional<double> require, int jobs,
                    const ShardText& shard, bool check_only);

}  // namespace liftsim::python
