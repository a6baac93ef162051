// What a study's base case is, as facts and as a fingerprint: the values its cases start from,
// the values set by name, the road, the thresholds and limits, and a hash of them all, so that a
// result file can say which truck it shows and results of different base cases are never combined.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "params/table.h"
#include "sweep/case_run.h"

namespace liftsim::sweep {

// FNV-1a with 64 bits (offset basis 14695981039346656037, prime 1099511628211) over the bytes of
// `text`: simple, stable across machines and versions, and plenty to tell base cases apart (it is
// a fingerprint against mistakes, not a defence against forgery).
std::uint64_t fnv1a64(std::string_view text);

// One parameter and its value as the cases use it.
struct NamedValue {
  const params::Param* param = nullptr;
  double value = 0.0;
};

// The base case in words a file can state. Parameters the study varies (and m_4 for a capacity
// search) are left out everywhere: their base values play no part in any case.
struct BaseFacts {
  model::Kind model = model::Kind::sound;
  // As a run's summary states its case: the values read from dani.dat that the cases use (load,
  // height, observation points) and have not been set to others; every value set to another than
  // a run without values set by name would use. In the order of the parameter table.
  std::vector<NamedValue> from_input;
  std::vector<NamedValue> set;
  std::size_t road_points = 0;                   // 0: flat
  double road_x_first = 0.0, road_x_last = 0.0;  // m
  std::size_t torque_points = 0;                 // 0: the engine law drives
  bool drive_off = false;                        // a torque of 0 throughout (--drive off)
  std::size_t brake_points = 0;                  // 0: no brake over time
  bool brake_hold = false;                       // a brake that holds from the start
  results::Thresholds thresholds;
  run::WorkLimit work;
  bool stop_when_decided = true;
  // fnv1a64(base_case_text(...)).
  std::uint64_t hash = 0;
};

// The base case's drive and brake in the words result files and pages use: "engine law", "off"
// or "torque over time (3 points)"; "none", "holds from the start" or "limit over time (2 points)".
std::string drive_words(const BaseFacts& base);
std::string brake_words(const BaseFacts& base);

// The canonical text the hash is taken of, one item a line (LF), numbers in their shortest
// round-trip form:
//   liftsim base case 1
//   model=<legacy|sound>
//   <name>=<value>        every parameter of the table in table order, as the cases use it
//   set <name>=<value>    every value set by name, in table order
//   road <x> <z>          every point of the road profile (none for a flat road)
//   torque <t> <N·m>      every point of a drive torque over time (none: the engine law)
//   brake <t> <N·m>       every point of a brake over time
//   brake_hold=<0|1>
//   slide_limit=<m>, lift_force=<N>, work_limit=<derivative calls>, stop_when_decided=<0|1>
// `values` are the base values (base_values()); `varied` the parameters left out.
// Every field of BaseCase enters it: a field added there must be added here too.
std::string base_case_text(const BaseCase& base, const params::CaseValues& values,
                           const std::vector<const params::Param*>& varied);

// `plain`: the values without those set by name (base_values).
BaseFacts base_facts(const BaseCase& base, const params::CaseValues& values,
                     const params::CaseValues& plain,
                     const std::vector<const params::Param*>& varied);

}  // namespace liftsim::sweep
