// Reading "dani.dat": the 43 fixed-format records, the built-in values and their report echo.
#pragma once

#include "driver/run_state.h"

namespace liftsim::driver {

inline constexpr int kInputUnit = 12;
inline constexpr int kInputRecords = 43;

// Reads the open input unit record by record, replaces the values that are built in, writes
// report blocks 1 to 10 after their groups, sets the initial state, the error weights and the
// output times, reads the observation points and closes the unit. A missing record or a field
// that is not a number ends the run with the READ report.
void read_input(RunState& run);

}  // namespace liftsim::driver
