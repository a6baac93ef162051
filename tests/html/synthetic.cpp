#include "synthetic.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace liftsim::testing {
namespace {

using html::Column;

// The example truck.
html::TruckGeometry example_truck() {
  html::TruckGeometry g;
  g.L_b = 0.9;
  g.R_t = 0.401;
  g.R_k = 0.401;
  g.xh_1 = 0.25;
  g.zh_1 = 0.456;
  g.xh_3 = -0.253;
  g.zh_3 = 0.38;
  g.x_O2 = 0.28;
  g.zc_4 = 0.5;
  g.observation_points = {{-0.8, 1.1}, {-1.6, 0.5}, {-0.4, 2.0}};
  return g;
}

const std::vector<Column>& csv_columns() {
  static const std::vector<Column> columns = {
      {"t", "s", "time", "time"},
      {"VX_01.3", "m/s", "velocities", "forward speed of the traction axle"},
      {"VZ_01.3", "m/s", "velocities", "vertical speed of the traction axle"},
      {"VFi_1", "rad/s", "velocities", "mast tilt rate"},
      {"VFi_3", "rad/s", "velocities", "body pitch rate"},
      {"VZ_02", "m/s", "velocities", "carriage speed along the mast"},
      {"X_01.3", "m", "positions", "traction axle, horizontal"},
      {"Z_01.3", "m", "positions", "traction axle, height"},
      {"Fi_1", "rad", "angles", "mast tilt"},
      {"Fi_3", "rad", "angles", "body pitch"},
      {"Z_02", "m", "positions", "carriage travel along the mast"},
      {"VX_C4", "m/s", "velocities", "load speed along the forks"},
      {"VFi_tk", "rad/s", "velocities", "wheel-shaft speed"},
      {"X_C4", "m", "positions", "load travel along the forks"},
      {"Fi_tk", "rad", "angles", "wheel-shaft angle"},
      {"AX_01.3", "m/s^2", "accelerations", "traction axle, horizontal"},
      {"AZ_01.3", "m/s^2", "accelerations", "traction axle, vertical"},
      {"AFi_1", "rad/s^2", "accelerations", "mast"},
      {"AFi_3", "rad/s^2", "accelerations", "body"},
      {"AX_C4", "m/s^2", "accelerations", "load along the forks"},
      {"F_13", "N", "forces", "tilt cylinder"},
      {"F_12", "N", "forces", "lift cylinder and chains"},
      {"F_tp", "N", "forces", "traction wheels on the road"},
      {"F_kp", "N", "forces", "steered wheels on the road"},
      {"M_eng", "N*m", "engine", "drive torque at the wheel shaft"},
      {"x_k", "m", "positions", "steered axle, horizontal"},
      {"z_k", "m", "positions", "steered axle, height"},
      {"n_e", "rpm", "engine", "engine speed"},
      {"ax_p1", "m/s^2", "observation points", "point 1, horizontal acceleration"},
      {"az_p1", "m/s^2", "observation points", "point 1, vertical acceleration"},
      {"ax_p2", "m/s^2", "observation points", "point 2, horizontal acceleration"},
      {"az_p2", "m/s^2", "observation points", "point 2, vertical acceleration"},
      {"ax_p3", "m/s^2", "observation points", "point 3, horizontal acceleration"},
      {"az_p3", "m/s^2", "observation points", "point 3, vertical acceleration"}};
  return columns;
}

double rate(const std::function<double(double)>& f, double t) {
  const double h = 1e-5;
  return (f(t + h) - f(t - h)) / (2 * h);
}

double rate2(const std::function<double(double)>& f, double t) {
  const double h = 1e-3;
  return (f(t + h) - 2 * f(t) + f(t - h)) / (h * h);
}

}  // namespace

html::RunPage synthetic_run(std::size_t rows, Motion motion) {
  const bool tipping = motion == Motion::kTipping;
  html::RunPage page;
  page.title = tipping ? "Tipping forward at full lift" : "Steady run with a 1000 kg load";
  if (tipping) page.case_params = {{"m_4", 2600, "kg"}, {"zc_4", 0.9, "m"}};
  page.truck = example_truck();
  page.columns = csv_columns();
  const html::TruckGeometry& g = page.truck;

  const double top_speed = tipping ? 1.5 : 0.25;
  auto X = [&](double t) {
    const double ramp = 2.0;  // seconds to top speed
    return t < ramp ? top_speed * t * t / (2 * ramp) : top_speed * (t - ramp / 2);
  };
  auto Z = [](double t) { return 0.36 + 0.002 * std::sin(7 * t) * std::exp(-0.3 * t); };
  auto Fi_1 = [](double t) { return -0.05 + 0.02 * std::sin(3 * t) * std::exp(-0.2 * t); };
  auto Fi_3 = [&](double t) {
    const double lean = tipping && t > 4 ? 0.02 * (t - 4) * (t - 4) : 0.0;
    return 0.004 * std::sin(5 * t) * std::exp(-0.5 * t) + lean;
  };
  auto Z_02 = [](double t) { return 0.15 * t; };
  auto X_C4 = [&](double t) { return 0.6 + (tipping && t > 4 ? 0.02 * (t - 4) * (t - 4) : 0.0); };
  auto Fi_tk = [&](double t) { return X(t) / g.R_t; };

  const double c_k = 378000.0 * 503000.0 / (378000.0 + 503000.0);
  page.rows.reserve(rows);
  for (std::size_t i = 0; i < rows; ++i) {
    // One time repeats halfway, as when the integrator restarts from its last output point.
    const std::size_t k = i == rows / 2 && i > 0 ? i - 1 : i;
    const double t = rows > 1 ? 10.0 * static_cast<double>(k) / static_cast<double>(rows - 1) : 0.0;
    const double x = X(t), z = Z(t), f3 = Fi_3(t);
    const double x_k = x - g.L_b * std::cos(f3), z_k = z + g.L_b * std::sin(f3);
    const double F_kp = c_k * std::max(0.0, g.R_k - z_k);
    const double n_e = rate(Fi_tk, t) * 21.88 / 3.141592 * 30;
    std::vector<double> row = {t,
                               rate(X, t),
                               rate(Z, t),
                               rate(Fi_1, t),
                               rate(Fi_3, t),
                               rate(Z_02, t),
                               x,
                               z,
                               Fi_1(t),
                               f3,
                               Z_02(t),
                               rate(X_C4, t),
                               rate(Fi_tk, t),
                               X_C4(t),
                               Fi_tk(t),
                               rate2(X, t),
                               rate2(Z, t),
                               rate2(Fi_1, t),
                               rate2(Fi_3, t),
                               rate2(X_C4, t),
                               52000 + 9000 * std::sin(3 * t) * std::exp(-0.2 * t),
                               12000 + 500 * std::sin(7 * t),
                               552000.0 * std::max(0.0, g.R_t - z),
                               F_kp,
                               std::min(969.9, 291.0 + 80 * t),
                               x_k,
                               z_k,
                               n_e};
    for (int p = 1; p <= 3; ++p) {
      row.push_back(0.8 * std::sin(11 * t + p) + 0.05 * std::sin(97 * t * p));
      row.push_back(0.5 * std::cos(13 * t + p) + 0.05 * std::cos(89 * t * p));
    }
    page.rows.push_back(std::move(row));
  }
  if (tipping && rows >= 4) {
    // The integrator fails at the end: the last accelerations and the last pitch are not numbers.
    for (std::size_t i = rows - 3; i < rows; ++i) page.rows[i][28] = std::nan("");
    page.rows.back()[9] = std::numeric_limits<double>::infinity();
  }

  const std::size_t kFkp = 23;
  double lift_off = -1, min_F_kp = 1e300, t_min = 0, max_pitch = 0;
  for (const std::vector<double>& row : page.rows) {
    if (row[kFkp] == 0 && lift_off < 0) lift_off = row[0];
    if (row[kFkp] < min_F_kp) min_F_kp = row[kFkp], t_min = row[0];
    if (std::isfinite(row[9])) max_pitch = std::max(max_pitch, std::fabs(row[9]));
  }
  page.summary = {{"verdict", tipping ? "tip_over" : "stable"},
                  {"outcome", tipping ? "integrator gave up" : "reached the end time"},
                  {"t_reached", page.rows.empty() ? 0.0 : page.rows.back()[0]},
                  {"min_F_kp", min_F_kp},
                  {"t_min_F_kp", t_min},
                  {"lift_off_t", lift_off < 0 ? nlohmann::json(nullptr) : nlohmann::json(lift_off)},
                  {"max_abs_Fi_3", max_pitch},
                  {"load_travel", tipping ? 0.72 : 0.0},
                  {"restarts", 1}};
  return page;
}

html::SweepPage synthetic_sweep(bool two_parameters) {
  html::SweepPage page;
  page.title = two_parameters ? "Load mass against load height" : "Load mass at 2 m";
  page.case_params = {{"zc_4", 0.5, "m"}};
  page.x = {"m_4", "kg", {}};
  for (int m = 500; m <= 3000; m += 250) page.x.values.push_back(m);
  if (two_parameters) {
    page.y = html::SweepAxis{"load height", "m", {}};
    for (int h = 0; h <= 12; ++h) page.y->values.push_back(0.25 * h);
  }
  const std::size_t ny = two_parameters ? page.y->values.size() : 1;
  for (std::size_t ix = 0; ix < page.x.values.size(); ++ix) {
    for (std::size_t iy = 0; iy < ny; ++iy) {
      if (two_parameters && ix == 3 && iy == 5) continue;  // a case that was not run
      const double m = page.x.values[ix], h = two_parameters ? page.y->values[iy] : 2.0;
      const double moment = m * (h + 0.5);
      std::string verdict = moment < 2500 ? "stable" : moment < 4500 ? "wheel_lift" : "tip_over";
      if (m <= 750 && h >= 2.5) verdict = "load_slide";
      if (ix == page.x.values.size() - 1 && iy == ny - 1) verdict = "numerical_failure";
      nlohmann::json summary = {{"verdict", verdict},
                                {"t_reached", verdict == "numerical_failure" ? 6.25 : 10.0},
                                {"min_F_kp", std::max(0.0, 9000 - 2 * moment)},
                                {"max_abs_Fi_3", moment * 1e-5}};
      summary["lift_off_t"] = verdict == "stable" ? nlohmann::json(nullptr) : nlohmann::json(3.5);
      page.cases.push_back({ix, iy, verdict, summary});
    }
  }
  return page;
}

html::CapacityPage synthetic_capacity() {
  html::CapacityPage page;
  page.title = "Capacity of the example truck";
  for (int k = 0; k < 10; ++k) {
    html::CapacityRow row;
    row.height = 0.5 * k;
    row.capacity_no_tip = 3200.0 / (1.0 + 0.18 * row.height);
    row.capacity_stable = *row.capacity_no_tip * 0.82;
    page.rows.push_back(row);
  }
  page.rows[0].capacity_stable.reset();
  page.rows[0].note = "stable up to the largest load tried, 5000 kg";
  page.rows[9].capacity_no_tip.reset();
  return page;
}

}  // namespace liftsim::testing
