// The report "result.rez": parameter echo, initial state, statics and leg ends, block by block.
#pragma once

#include <array>
#include <cstdint>

#include "driver/statics.h"
#include "model/state.h"

namespace liftsim::driver {

inline constexpr int kReportUnit = 13;

void write_masses(const model::Par& par);                           // block 1
void write_mass_centres(const model::Par& par);                     // block 2
void write_inertia(const model::Par& par);                          // block 3
void write_tyre_stiffness(const model::Par& par);                   // block 4
void write_wheel_radii(const model::Par& par);                      // block 5
void write_rolling_friction(const model::Par& par);                 // block 6
void write_cylinder_points(const model::Par& par);                  // block 7
void write_cylinder_stiffness(const model::Par& par);               // block 8
void write_carriage_and_engine(const model::Par& par);              // block 9
void write_integration_control(const std::array<double, 5>& prmt);  // block 10
void write_initial_state(const model::StateVector& y);              // block 11
void write_statics(const StaticsResult& s, double lh_free);         // blocks 12 to 17
void write_leg_end(std::int32_t ihlf, double t_reached);            // blocks 18 and 19

}  // namespace liftsim::driver
