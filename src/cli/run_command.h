// The plain run: dani.dat in the folder, the report and the 22 time-history files beside it.
#pragma once

#include "cli/common.h"
#include "run/input.h"

namespace liftsim::cli {

// Options for the results of one run beyond the plain run's files.
struct ResultOptions {
  std::string csv_file;             // --csv FILE
  std::optional<double> grid_step;  // --grid DT
  bool force = false;               // --force: a grid of more than 10^7 rows
  std::string summary_file;         // --summary FILE, or "-" for lines on standard output
  std::string html_file;            // --html FILE
  std::string columns;              // --columns NAME,NAME,...
  double slide_limit = 0.05;        // --slide-limit M
  double lift_force = 0.0;          // --lift-force N
  bool stop_when_decided = false;   // --stop-when-decided
  bool convergence = false;         // --convergence
};

struct RunOptions {
  CaseOptions case_options;
  ResultOptions results;
  bool stats = false;  // --stats
};

// Runs the simulation; returns the exit status (0, or 1 after the error report).
int run_command(const RunOptions& options);

// The warnings about the input, one line each, for standard error.
std::string input_warnings(const params::CaseValues& values, const run::InputNotes& notes);

}  // namespace liftsim::cli
