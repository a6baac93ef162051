// The result files of sweeps and capacity charts: a head of comment lines that says what was run
// (program, model, axes, base case and its hash), the CSV header, one row per case; and the same
// rows read back, field by field, into typed rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sweep/axes.h"
#include "sweep/capacity.h"
#include "sweep/provenance.h"
#include "sweep/study.h"

namespace liftsim::sweepfile {

enum class Kind { sweep, capacity, tilt };

// What a file is of: enough to write its head and to check its rows.
struct Study {
  Kind kind = Kind::sweep;
  std::string version;            // of the program that writes the file
  std::vector<sweep::Axis> axes;  // a sweep's axes; a chart's heights (one axis)
  sweep::Shard shard;
  sweep::MassRange mass;     // chart only
  bool convergence = false;  // chart only: the shift columns
  sweep::TiltOptions tilt;   // tilt-test only: resolution, margin, required slope
};

// The head: the provenance lines ("# ..."), then the CSV header, each ending in a line feed. The
// shard line ("# shard: K/N") is written for a shard of more than one and is the only line in
// which the files of one study's shards differ.
std::vector<std::string> head_lines(const Study& study, const sweep::BaseFacts& base);
bool is_shard_line(std::string_view line);

// The study a file's head describes (its kind, axes, shard and convergence columns), from its
// lines without their line feeds; or what is wrong with them.
std::optional<std::string> parse_head(const std::vector<std::string>& lines, Study& study);

// A field of a row: empty, a number, a whole number or a text.
using Value = std::variant<std::monostate, double, std::int64_t, std::string>;

// The header's columns and a row's values, in the same order:
//   sweep:    case, <varied names>, outcome, verdict, t_reached, min_F_kp, t_min_F_kp,
//             lift_off_t, max_abs_Fi_3, load_travel, restarts, derivative_calls, error, message
//   capacity: case, <height name>, capacity_stable, capacity_no_tip, min_F_kp_stable,
//             min_F_kp_no_tip, stable_note, no_tip_note, runs (shift_stable, shift_no_tip)
std::vector<std::string> columns(const Study& study);
std::vector<Value> sweep_values(const sweep::SweepRow& row);
std::vector<Value> capacity_values(std::int64_t index, const sweep::CapacityRow& row,
                                   bool convergence);
//   tilt:     case, <height name>, critical_slope, rigid_slope, below_verdict, above_verdict,
//             pass, note, runs
std::vector<Value> tilt_values(std::int64_t index, const sweep::TiltRow& row);

// A row's text: numbers in their shortest round-trip form, a text on one line (control
// characters as blanks, bytes that are not UTF-8 as '?') and quoted when it holds a comma or a
// quote; a line feed at the end.
std::string row_text(const std::vector<Value>& values);

// A row read back.
struct ReadRow {
  std::int64_t index = 0;
  sweep::SweepRow sweep;        // a sweep's row
  sweep::CapacityRow capacity;  // a chart's row
  sweep::TiltRow tilt;          // a tilt test's row
};

// Checks the rows of one study, field by field: the number of fields, the case number (one of
// the study's; which shard holds it is the caller's to check), the varied values (those of that
// case), every number, the names of outcomes, verdicts and error codes; and the row as a whole,
// which must be exactly the text this program writes for what it holds.
class RowReader {
 public:
  explicit RowReader(const Study& study);
  // Reads `line` (without its line feed) into `row`; what is wrong with it otherwise.
  std::optional<std::string> read(std::string_view line, ReadRow& row) const;
  // The number of rows of the whole study.
  std::int64_t total() const { return total_; }

 private:
  std::optional<std::string> read_sweep(const std::vector<std::string>& f, ReadRow& row) const;
  std::optional<std::string> read_capacity(const std::vector<std::string>& f, ReadRow& row) const;
  std::optional<std::string> read_tilt(const std::vector<std::string>& f, ReadRow& row) const;

  Study study_;
  sweep::CaseGrid grid_;
  std::int64_t total_ = 0;
  std::vector<std::string> names_;  // the header's columns
};

}  // namespace liftsim::sweepfile
