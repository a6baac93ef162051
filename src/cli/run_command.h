// The plain run: dani.dat in the folder, the report and the 22 time-history files beside it.
#pragma once

#include "cli/common.h"
#include "run/input.h"

namespace liftsim::cli {

struct RunOptions {
  CaseOptions case_options;
  bool stats = false;  // --stats
};

// Runs the simulation; returns the exit status (0, or 1 after the error report).
int run_command(const RunOptions& options);

// The warnings about the input, one line each, for standard error.
std::string input_warnings(const params::CaseValues& values, const run::InputNotes& notes);

}  // namespace liftsim::cli
