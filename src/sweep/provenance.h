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
  // The values read from dani.dat that the cases use (load, height, observation points), unless
  // set by name.
  std::vector<NamedValue> from_input;
  // Every value set by name (--set, --params), in the order of the parameter table.
  std::vector<NamedValue> set;
  std::size_t road_points = 0;                   // 0: flat
  double road_x_first = 0.0, road_x_last = 0.0;  // m
  results::Thresholds thresholds;
  run::WorkLimit work;
  bool stop_when_decided = true;
  // fnv1a64(base_case_text(...)).
  std::uint64_t hash = 0;
};

// The canonical text the hash is taken of, one item a line (LF), numbers in their shortest
// round-trip form:
//   liftsim base case 1
//   model=<legacy|sound>
//   <name>=<value>        every parameter of the table in table order, as the cases use it
//   set <name>=<value>    every value set by name, in table order
//   road <x> <z>          every point of the road profile (none for a flat road)
//   slide_limit=<m>, lift_force=<N>, work_limit=<derivative calls>, stop_when_decided=<0|1>
// `values` are the base values (base_values()); `varied` the parameters left out.
std::string base_case_text(const BaseCase& base, const params::CaseValues& values,
                           const std::vector<const params::Param*>& varied);

BaseFacts base_facts(const BaseCase& base, const params::CaseValues& values,
                     const std::vector<const params::Param*>& varied);

}  // namespace liftsim::sweep
