// The columns of the dense results: name, SI unit, meaning, group, and how each is worked out.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"
#include "output/logged.h"

namespace liftsim::results {

// Everything a row is made of at one time: the state, its derivative and the derived quantities.
struct Sample {
  double t = 0.0;
  model::StateVector y{};
  model::StateVector dery{};
  output::Logged forces;  // wheel and cylinder forces, steered-axle point (compute_forces)
  double M_eng = 0.0;     // drive torque at the wheel shaft
  double n_e = 0.0;       // engine speed
  std::array<double, model::kObservationPoints> ax_p{}, az_p{};
};

struct Column {
  std::string_view name;
  std::string_view unit;
  std::string_view meaning;
  std::string_view group;  // positions, angles, velocities, ..., forces, engine, wheel shaft
  double (*value)(const Sample& s);
};

std::span<const Column> columns();

// The columns named in a comma-separated list, in the table's order, "t" always first; an empty
// list is every column. Fails with the first unknown name.
bool select_columns(std::string_view names, std::vector<const Column*>& selected,
                    std::string& unknown);

// The derived quantities of a sample whose t, y and dery are set: at an output point from what
// the model published for it and the rates of the output history; elsewhere from the state alone
// (the point accelerations then come from the caller).
void derive_at_point(Sample& s, const model::Model& m, const model::Published& pub,
                     const model::ObservationPoints& obs, const model::OutputHistory& hist);
// Only the observation points' accelerations of derive_at_point: what a grid needs of every
// output point besides its state (the rest is derived for the rows alone).
void point_accelerations(Sample& s, const model::Published& pub,
                         const model::ObservationPoints& obs, const model::OutputHistory& hist);
void derive_from_state(Sample& s, const model::Model& m);

}  // namespace liftsim::results
