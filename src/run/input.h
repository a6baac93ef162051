// Reading dani.dat through the parameter table: the 43 fixed-format records, the built-in values,
// the values set by name, and the report's parameter echo after each group.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "params/overrides.h"
#include "params/table.h"
#include "textio/files.h"

namespace liftsim::run {

// The longest record a run reads, line end excluded: far beyond any parameter record with its
// comment. A longer record ends the run with the READ report (F6500), so a run reads a bounded
// amount of its input whatever the input is (a device that never ends a line, say).
inline constexpr std::size_t kLongestRecord = 64 * 1024;

// Hands out the next record: at most `keep` leading bytes of it, as textio::FileSet::read_record,
// and `too_long` for a record longer than kLongestRecord.
using RecordSource =
    std::function<textio::ReadStatus(std::string& record, std::size_t keep, int& error_number)>;

// A value dani.dat holds that the run does not use, because the parameter is built in.
struct IgnoredValue {
  int record = 0;
  const params::Param* param = nullptr;
  double read = 0.0;
  double used = 0.0;
};

// A value that reads surprisingly: a number without a decimal point in a field whose implied
// decimal point changed it (12345 in an F9.4 field is 1.2345).
struct ImpliedPoint {
  int record = 0;
  const params::Param* param = nullptr;
  std::string text;  // the field's characters
  double value = 0.0;
};

struct InputNotes {
  std::vector<IgnoredValue> ignored;
  std::vector<ImpliedPoint> implied_points;
  params::CaseValues plain;  // the values a run without values set by name would use
};

// Called after the group of records that ends a report block, with the values as used.
using EchoFn = std::function<void(const params::EchoBlock& block, const params::CaseValues& v)>;

// Reads the records from `source` into `values` (which starts as params::built_in_case()):
// the values set by name that no record holds are taken first; each value read is replaced by
// its built-in value, then by the value set by name, before its group is echoed. A missing record or a field that is not a number throws textio::RunFailure
// with the READ report for `file_name`, after the blocks of the groups read before it.
void read_case(const RecordSource& source, std::string_view file_name,
               const params::Overrides& overrides, params::CaseValues& values, const EchoFn& echo,
               InputNotes* notes = nullptr);

// A source reading `text` line by line (for input held in memory).
RecordSource memory_source(const std::string& text, std::size_t& position);

}  // namespace liftsim::run
