// The whole run: open the files, read and echo the input, statics, integration legs, close, stop.
#pragma once

#include <cstdint>

namespace liftsim::driver {

// Counters of one run, for `liftsim --stats`.
struct RunStats {
  std::int64_t derivative_calls = 0;
  std::int64_t output_calls = 0;
  std::int64_t accepted_steps = 0;
  std::int64_t halvings = 0;
  std::int64_t doublings = 0;
  std::int64_t legs = 0;
  double smallest_step = 0.0;
};

// Runs the simulation in the working directory. Returns only through the normal stop (exit
// status 0) or the error stop (exit status 1); when `stats` is set, the run's counters are printed
// to standard error before the normal stop.
[[noreturn]] void run(bool print_stats);

}  // namespace liftsim::driver
