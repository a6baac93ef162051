// Made-up but plausible report data: a run of the example truck, a sweep, a capacity table.
#pragma once

#include <cstddef>

#include "html/report.h"

namespace liftsim::testing {

enum class Motion {
  kSteady,  // drives off slowly, lifts the load, sways and settles; wheels stay on the road
  kTipping  // drives far, pitches forward until the steered wheels leave the road, ends in NaN
};

// A run with `rows` output points over 10 s and the 34 columns of the CSV, one time repeated
// halfway (as after a restart of the integrator).
html::RunPage synthetic_run(std::size_t rows, Motion motion);

// Load mass against load height, 11 x 13 cases with every verdict and one cell left empty; or
// the strip of load masses alone.
html::SweepPage synthetic_sweep(bool two_parameters);

// Ten heights; one capacity not bracketed with a note, one without.
html::CapacityPage synthetic_capacity();

}  // namespace liftsim::testing
