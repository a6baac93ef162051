// The whole run: open the files, read and echo the input, statics, integration legs, close, stop.
#pragma once

#include "driver/legs.h"

namespace liftsim::driver {

// Opens the files in the working directory, reads and echoes the input, solves the statics,
// integrates all legs and closes the files. Failures end the process with the error report.
RunStats run_simulation();

// Runs the simulation in the working directory. Returns only through the normal stop (exit
// status 0) or the error stop (exit status 1); with `want_stats`, the run's counters are printed
// to standard error before the normal stop.
[[noreturn]] void run(bool want_stats);

}  // namespace liftsim::driver
