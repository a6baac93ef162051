// The parameter table: every value a run uses, by name, with its unit, meaning, record in
// dani.dat, built-in value, allowed range and report block. Reading, built-ins, the report echo,
// overrides and listings all go through it.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/state.h"
#include "textio/input_fields.h"

namespace liftsim::params {

// Integration control: start time, end time, initial and largest step, error bound, stop flag.
using Control = std::array<double, 5>;

// The values of one case: the truck, the integration control and the observation points.
struct CaseValues {
  model::Par par;
  Control prmt{};
  model::ObservationPoints obs;
  // The scenario's start: where the truck stands, how fast it goes, where the load lies, and the
  // gradient it stands on.
  double x_0 = 0.0;     // horizontal position of the traction axle point, m
  double v_0 = 0.0;     // speed towards the forks, m/s
  double x_load = 0.0;  // the load's place X_C4 along the forks, m
  double slope = 0.0;   // per cent, positive when the ground falls toward the forks
};

// Allowed values of a parameter; every value must also be finite.
enum class Range {
  any,           // any finite value
  positive,      // > 0
  non_negative,  // >= 0
  fraction,      // 0 < v <= 1
};

struct Param {
  std::string_view name;
  std::string_view unit;  // SI unit ("kg", "m", "N/m", ...); "1" for a pure number
  std::string_view meaning;
  double& (*ref)(CaseValues&);
  std::optional<double> built_in;  // replaces the value read; none: the value read is used
  int record = 0;                  // record of dani.dat that holds it; 0: none
  Range range = Range::any;
  bool settable = true;
  bool echo_only = false;  // shown in the report but used by no computation
};

std::span<const Param> all_params();
const Param* find_param(std::string_view name);
inline double get(const Param& p, const CaseValues& v) {
  return p.ref(const_cast<CaseValues&>(v));
}

// One record of dani.dat: the fields it holds (none for a heading) and, for the messages of the
// read errors, what the record and each field hold.
struct Record {
  int number;
  textio::FieldFormat field;               // both fields of a pair have the same form
  int fields;                              // 0, 1 or 2
  std::array<std::string_view, 2> params;  // parameter names of the fields
  std::array<std::string_view, 2> field_what;
  std::string_view what;  // the record as a whole
};

inline constexpr int kInputRecords = 43;
std::span<const Record> records();

// One report block of the parameter echo: written after record `after_record`, with the format
// text and the parameters in the order of its fields.
struct EchoBlock {
  int after_record;
  std::string_view format;
  std::array<std::string_view, 8> params;
  int count;
};
std::span<const EchoBlock> echo_blocks();

// The case of a default run before anything is read: built-in values set, the rest zero.
CaseValues built_in_case();

// Whether `value` lies in the parameter's range; `allowed` receives the range in words.
bool in_range(const Param& p, double value, std::string_view& allowed);

// Where a run takes the parameter's value from, in words: "set" (by name), "built-in",
// "dani.dat record N", or "built-in (dani.dat record N ignored)".
std::string source_text(const Param& p, bool set);

}  // namespace liftsim::params
