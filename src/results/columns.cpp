#include "results/columns.h"

#include <algorithm>

#include "model/forces.h"

namespace liftsim::results {
namespace {

namespace ix = model::ix;

#define Y(i) [](const Sample& s) { return s.y[ix::i]; }
#define D(i) [](const Sample& s) { return s.dery[ix::i]; }
#define F(f) [](const Sample& s) { return s.forces.f; }

// clang-format off
const Column kColumns[] = {
    {"t", "s", "time", "time", [](const Sample& s) { return s.t; }},
    {"VX_01.3", "m/s", "horizontal velocity of the traction axle", "velocities", Y(VX_013)},
    {"VZ_01.3", "m/s", "vertical velocity of the traction axle", "velocities", Y(VZ_013)},
    {"VFi_1", "rad/s", "angular velocity of the mast", "velocities", Y(VFi_1)},
    {"VFi_3", "rad/s", "pitch rate of the body", "velocities", Y(VFi_3)},
    {"VZ_02", "m/s", "velocity of the carriage along the mast", "velocities", Y(VZ_02)},
    {"X_01.3", "m", "horizontal position of the traction axle", "positions", Y(X_013)},
    {"Z_01.3", "m", "height of the traction axle", "positions", Y(Z_013)},
    {"Fi_1", "rad", "mast angle (positive: mast top tilted forward, towards the load)", "angles", Y(Fi_1)},
    {"Fi_3", "rad", "body pitch (positive: steered axle up, body pitching forward)", "angles", Y(Fi_3)},
    {"Z_02", "m", "carriage travel along the mast", "positions", Y(Z_02)},
    {"VX_C4", "m/s", "velocity of the load along the forks", "velocities", Y(VX_C4)},
    {"VFi_tk", "rad/s", "angular velocity of the traction-wheel shaft", "wheel shaft",
     Y(VFi_tk)},
    {"X_C4", "m", "position of the load along the forks", "positions", Y(X_C4)},
    {"Fi_tk", "rad", "angle of the traction-wheel shaft", "wheel shaft", Y(Fi_tk)},
    {"AX_01.3", "m/s^2", "horizontal acceleration of the traction axle", "accelerations",
     D(VX_013)},
    {"AZ_01.3", "m/s^2", "vertical acceleration of the traction axle", "accelerations", D(VZ_013)},
    {"AFi_1", "rad/s^2", "angular acceleration of the mast", "accelerations", D(VFi_1)},
    {"AFi_3", "rad/s^2", "angular acceleration of the body", "accelerations", D(VFi_3)},
    {"AX_C4", "m/s^2", "acceleration of the load along the forks", "accelerations", D(VX_C4)},
    {"F_13", "N", "tilt-cylinder force (positive: stretched)", "forces", F(F_13)},
    {"F_12", "N", "force of the lift cylinder and chains", "forces", F(F_12)},
    {"F_tp", "N", "radial force of the traction wheels", "forces", F(F_tp)},
    {"F_kp", "N", "radial force of the steered wheels (0: lifted off the road)", "forces",
     F(F_kp)},
    {"x_k", "m", "horizontal position of the steered axle", "positions", F(x_k)},
    {"z_k", "m", "height of the steered axle", "positions", F(z_k)},
    {"M_eng", "N*m", "drive torque at the wheel shaft", "engine",
     [](const Sample& s) { return s.M_eng; }},
    {"n_e", "rpm", "engine speed", "engine", [](const Sample& s) { return s.n_e; }},
    {"ax_p1", "m/s^2", "horizontal acceleration of observation point 1", "observation points",
     [](const Sample& s) { return s.ax_p[0]; }},
    {"az_p1", "m/s^2", "vertical acceleration of observation point 1", "observation points",
     [](const Sample& s) { return s.az_p[0]; }},
    {"ax_p2", "m/s^2", "horizontal acceleration of observation point 2", "observation points",
     [](const Sample& s) { return s.ax_p[1]; }},
    {"az_p2", "m/s^2", "vertical acceleration of observation point 2", "observation points",
     [](const Sample& s) { return s.az_p[1]; }},
    {"ax_p3", "m/s^2", "horizontal acceleration of observation point 3", "observation points",
     [](const Sample& s) { return s.ax_p[2]; }},
    {"az_p3", "m/s^2", "vertical acceleration of observation point 3", "observation points",
     [](const Sample& s) { return s.az_p[2]; }},
};
// clang-format on

#undef Y
#undef D
#undef F

}  // namespace

std::span<const Column> columns() {
  return kColumns;
}

bool select_columns(std::string_view names, std::vector<const Column*>& selected,
                    std::string& unknown) {
  selected.clear();
  std::vector<std::string_view> wanted;
  while (!names.empty()) {
    const auto comma = names.find(',');
    std::string_view name = names.substr(0, comma);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty()) wanted.push_back(name);
    if (comma == std::string_view::npos) break;
    names.remove_prefix(comma + 1);
  }
  for (std::string_view name : wanted) {
    bool known = false;
    for (const Column& c : kColumns) known = known || c.name == name;
    if (!known) {
      unknown = std::string(name);
      return false;
    }
  }
  for (const Column& c : kColumns) {
    const bool all = wanted.empty() || c.name == "t";
    if (all || std::find(wanted.begin(), wanted.end(), c.name) != wanted.end()) {
      selected.push_back(&c);
    }
  }
  return true;
}

void derive_at_point(Sample& s, const model::Model& m, const model::Published& pub,
                     const model::ObservationPoints& obs, const model::OutputHistory& hist) {
  output::compute_forces(s.y.data(), m, output::trig_of(pub), s.forces);
  s.M_eng = pub.M_eng;
  s.n_e = pub.n_e;
  point_accelerations(s, pub, obs, hist);
}

void point_accelerations(Sample& s, const model::Published& pub,
                         const model::ObservationPoints& obs, const model::OutputHistory& hist) {
  // The observation points as the time-history files have them: rates of the output history.
  const model::Rates& acc = hist.acc_fd;
  const double w3sq = s.y[ix::VFi_3] * s.y[ix::VFi_3];
  for (int p = 0; p < model::kObservationPoints; ++p) {
    const double rx = obs.xp[p] * pub.c3 + obs.zp[p] * pub.s3;
    const double rz = obs.zp[p] * pub.c3 - obs.xp[p] * pub.s3;
    s.ax_p[p] = acc.ax_013 - w3sq * rx + acc.afi_3 * rz;
    s.az_p[p] = acc.az_013 - w3sq * rz - acc.afi_3 * rx;
  }
}

void derive_from_state(Sample& s, const model::Model& m) {
  output::compute_forces(s.y.data(), m, output::trig_of(s.y.data()), s.forces);
  s.n_e = model::engine_speed(m.par, s.y[ix::VFi_tk]);
  s.M_eng = model::drive_torque(m.par, m.engine, s.n_e);
}

}  // namespace liftsim::results
