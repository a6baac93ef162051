// HTML report pages of a run, a parameter sweep and a capacity chart: one self-contained file each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace liftsim::html {

// A value of the case a page states: one that differs from a default run, or one read from the
// input; `source` says which ("set", "dani.dat"; empty: not said).
struct CaseParam {
  std::string name;
  double value = 0.0;
  std::string unit;
  std::string source;
};

// One output column. Columns of the same group share a plot; within it, one y scale per unit.
struct Column {
  std::string name;     // as in the CSV header, e.g. "X_01.3"
  std::string unit;     // e.g. "m", "rad", "N"; empty for a pure number
  std::string group;    // e.g. "positions", "forces"; empty puts the column under "other"
  std::string meaning;  // one line for the legend's tooltip
};

struct Point {
  double x = 0.0;
  double z = 0.0;
};

// What the side view needs to draw the truck. The model lengths come from the run's parameters;
// the drawing lengths only shape the picture. Body points are in the body's frame, mast points in
// the mast's frame, both with their origin at the traction axle (x forward, z up).
struct TruckGeometry {
  double L_b = 0.0;   // wheelbase: the steered axle lies this far behind the traction axle
  double R_t = 0.0;   // traction wheel radius
  double R_k = 0.0;   // steered wheel radius
  double xh_1 = 0.0;  // tilt-cylinder attachment on the mast
  double zh_1 = 0.0;
  double xh_3 = 0.0;  // tilt-cylinder attachment on the body
  double zh_3 = 0.0;
  double x_O2 = 0.0;                      // carriage origin ahead of the mast pivot
  double zc_4 = 0.0;                      // the load's centre of mass above the forks
  std::vector<Point> observation_points;  // on the body, drawn as marks

  double mast_height = 2.2;  // top of the mast above the pivot
  double fork_length = 1.1;  // fork blades ahead of the carriage origin
  double load_length = 1.0;  // the load's extent along the forks
  double body_height = 1.1;  // top of the body (the overhead guard may rise above it)
};

// One run. `rows` holds one row per output point, a value for each column; the first column is
// the time "t", not decreasing. The side view reads the columns t, X_01.3, Z_01.3, Fi_1, Fi_3,
// Z_02, X_C4 (and Fi_tk, F_kp when present) and is left out when one of the first seven is missing.
struct RunPage {
  std::string title;
  std::vector<CaseParam> case_params;
  std::vector<std::string> case_notes;  // model, road, drive, brake: one line each
  nlohmann::json summary = nlohmann::json::object();  // verdict, outcome, t_reached, ...
  std::vector<Column> columns;
  std::vector<std::vector<double>> rows;
  // When `rows` are a downsampled view of the run's rows: how many the run made, the number of time
  // slices they were reduced over, and the CSV file that holds them all (empty: none written). The
  // page says so above its plots.
  std::int64_t rows_total = 0;  // 0, or no more than rows.size(): every row is shown
  std::size_t slices = 0;
  std::string csv_file;
  TruckGeometry truck;
  std::vector<Point> road;  // road surface, x increasing, linear between points; flat when empty
};

struct SweepAxis {
  std::string name;  // the varied parameter
  std::string unit;
  std::vector<double> values;
};

// One case of a sweep, at x.values[ix] and y.values[iy] (iy is 0 for a one-parameter sweep).
struct SweepCase {
  std::size_t ix = 0;
  std::size_t iy = 0;
  std::string verdict;  // stable, wheel_lift, tip_over, load_slide or numerical_failure
  nlohmann::json summary = nlohmann::json::object();
};

// A stability map over one parameter (a strip) or two. Cells without a case stay empty.
struct SweepPage {
  std::string title;
  std::vector<CaseParam> case_params;  // the base case
  std::vector<std::string> case_notes;
  SweepAxis x;
  std::optional<SweepAxis> y;
  std::vector<SweepCase> cases;
};

// Capacity at one load height. A capacity is missing when the search could not bracket it; the
// note says why (the page says "not bracketed" when the note is empty).
struct CapacityRow {
  double height = 0.0;
  std::optional<double> across;  // the load centre (or other value) of a chart drawn across one
  std::optional<double> capacity_stable;  // heaviest load with a stable run
  std::optional<double> capacity_no_tip;  // heaviest load that does not tip the truck over
  std::string note;
};

struct CapacityPage {
  std::string title;
  std::vector<CaseParam> case_params;
  std::vector<std::string> case_notes;
  std::string height_name = "zc_4";
  std::string height_unit = "m";
  std::string across_name;  // a chart drawn across a second parameter: its name and unit
  std::string across_unit;
  std::string capacity_unit = "kg";
  std::vector<CapacityRow> rows;
};

// The tilting-table test at one load height: the critical slope (per cent), the rigid truck's
// estimate, the verdicts of the runs just below and above it, and whether it passes.
struct TiltRow {
  double height = 0.0;
  std::optional<double> critical;
  double rigid = 0.0;
  std::string below, above;
  std::optional<bool> pass;
  std::string note;
};

struct TiltPage {
  std::string title;
  std::vector<CaseParam> case_params;
  std::vector<std::string> case_notes;
  std::string height_name = "zc_4";
  std::string height_unit = "m";
  std::optional<double> require;  // per cent
  std::vector<TiltRow> rows;
};

// Each writes one complete HTML page to `out`. They throw std::invalid_argument for data the page
// cannot show (a row of the wrong length, a first column other than "t", a time that goes back, a
// road whose x does not increase, a sweep case outside its axes or two cases in one cell) before
// writing anything.
void write_run_page(std::ostream& out, const RunPage& page);
// How many rows of `columns` columns a run page carries in `bytes` of column data (the time as
// binary64, the other columns as binary32, in base64); at least 1.
std::size_t run_rows_within(std::size_t columns, std::size_t bytes);
void write_sweep_page(std::ostream& out, const SweepPage& page);
void write_capacity_page(std::ostream& out, const CapacityPage& page);
void write_tilt_page(std::ostream& out, const TiltPage& page);

}  // namespace liftsim::html
