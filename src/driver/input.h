// Reading "dani.dat": the 43 fixed-format records, the built-in values and their report echo.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

#include "driver/run_state.h"
#include "textio/units.h"

namespace liftsim::driver {

inline constexpr int kInputUnit = 12;
inline constexpr int kInputRecords = 43;

// Hands out the next record: at most `keep` leading bytes of it, as textio::read_record does.
using RecordSource =
    std::function<textio::ReadStatus(std::string& record, std::size_t keep, int& error_number)>;

// A record that is missing or holds a field that is not a number.
struct InputError : std::runtime_error {
  InputError(textio::ErrorCode c, int r, const std::string& message)
      : std::runtime_error(message), code(c), record(r) {}
  textio::ErrorCode code;  // F6500, F6501, F6102 or F6103
  int record;              // 1-based number of the record concerned
};

// Reads the 43 records from `source` into `run` and replaces the values that are built in; sets
// the initial state, the error weights and the output times on the way. With `echo`, report
// blocks 1 to 10 are written after their groups. Throws InputError at the first bad record.
void read_records(RunState& run, const RecordSource& source, bool echo);

// Reads the open input unit record by record, replaces the values that are built in, writes
// report blocks 1 to 10 after their groups, sets the initial state, the error weights and the
// output times, reads the observation points and closes the unit. A missing record or a field
// that is not a number ends the run with the READ report.
void read_input(RunState& run);

}  // namespace liftsim::driver
