#include "run/statics.h"

#include <cmath>

#include "textio/fpe.h"

namespace liftsim::run {

namespace {

namespace ix = model::ix;

struct WheelLoads {
  double F_kp_0;
  double F_tp_0;
};

// Horizontal lever arms of mast, carriage and load about the traction axle, which do not depend
// on the body pitch.
struct Levers {
  double a_1, a_2, a_4;
  double load_and_carriage;  // a_4·m_4 + a_2·m_2, the leading part of the moment sums
};

// Static wheel loads for a body pitch whose steered axle lies at the horizontal distance c behind
// the traction axle; a_3 is the body's lever arm at that pitch.
inline WheelLoads wheel_loads(const model::Par& par, const Levers& lv, double a_3, double c) {
  const double F_kp_0 = -(((lv.load_and_carriage + a_3 * par.m_3) + lv.a_1 * par.m_1) * par.g) / c;
  const double F_tp_0 =
      (((((c + lv.a_4) * par.m_4 + (c + lv.a_2) * par.m_2) + (c + a_3) * par.m_3) +
        (c + lv.a_1) * par.m_1) *
       par.g) /
      c;
  return {F_kp_0, F_tp_0};
}

}  // namespace

StaticsResult find_equilibrium(const model::Par& par, const model::Road& road,
                               model::StateVector& y) {
  auto z_road = [&road](double x) { return road.z(x); };
  constexpr double pi = model::kPi;
  StaticsResult s;
  const double X_013 = y[ix::X_013];
  const double Fi_1 = y[ix::Fi_1];
  const double Z_02 = y[ix::Z_02];
  const double X_C4 = y[ix::X_C4];

  // Pitch of the body when both tyres are undeflected.
  s.psi_0 =
      checked::asin(((z_road(X_013 - par.L_b) + par.R_k) - (z_road(X_013) + par.R_t)) / par.L_b);
  s.c_ks = (par.c_buf * par.c_kr) / (par.c_buf + par.c_kr);

  // Ten degrees either side of the geometric pitch, one second of arc apart.
  const double lower = s.psi_0 - pi / 18.0;
  const double upper = pi / 18.0 + s.psi_0;
  const double step = pi / 648000.0;

  // Lever arms of mast, carriage and load about the traction axle: the mast angle is fixed
  // during the scan, only the body turns.
  const double s1 = checked::sin(Fi_1);
  const double c1 = checked::cos(Fi_1);
  Levers lv;
  lv.a_1 = s1 * par.zc_1 + c1 * par.xc_1;
  lv.a_2 = s1 * (par.zc_2 + Z_02) + c1 * (par.xc_2 + par.x_O2);
  lv.a_4 = s1 * (par.zc_4 + Z_02) + c1 * (X_C4 + par.x_O2);
  lv.load_and_carriage = lv.a_4 * par.m_4 + lv.a_2 * par.m_2;

  double a = lower;
  double r_best = 100.0;
  double a_best = s.psi_0;
  long trials = 0;
  do {
    const double sa = checked::sin(a);
    const double ca = checked::cos(a);
    const double a_3 = sa * par.zc_3 + ca * par.xc_3;
    const double c = ca * par.L_b;
    WheelLoads w = wheel_loads(par, lv, a_3, c);
    if (w.F_kp_0 <= 0.0) w.F_kp_0 = 0.0;
    if (w.F_tp_0 <= 0.0) w.F_tp_0 = 0.0;
    // Height of the steered axle from its tyre deflection, compared with the body geometry.
    const double h_k = (z_road(X_013 - c) + par.R_k) - w.F_kp_0 / s.c_ks;
    const double r = sa - (((h_k - z_road(X_013)) - par.R_t) + w.F_tp_0 / par.c_tr) / par.L_b;
    if (std::abs(r) <= std::abs(r_best)) {
      r_best = r;
      a_best = a;
    }
    ++trials;
    a = a + step;
  } while (!(a > upper));
  s.trials = trials;

  // Equilibrium pitch and axle height.
  const double Fi_3 = a_best;
  y[ix::Fi_3] = Fi_3;
  const double s3 = checked::sin(Fi_3);
  const double c3 = checked::cos(Fi_3);
  const double a_3 = s3 * par.zc_3 + c3 * par.xc_3;
  const WheelLoads w = wheel_loads(par, lv, a_3, c3 * par.L_b);
  s.F_kp_0 = w.F_kp_0 < 0.0 ? 0.0 : w.F_kp_0;
  s.F_tp_0 = w.F_tp_0 < 0.0 ? 0.0 : w.F_tp_0;
  y[ix::Z_013] = (z_road(X_013) + par.R_t) - s.F_tp_0 / par.c_tr;
  s.a_1 = lv.a_1;
  s.a_2 = lv.a_2;
  s.a_4 = lv.a_4;
  s.a_3 = a_3;
  return s;
}

void static_forces(const model::Par& par, const model::StateVector& y, double F_kp,
                   StaticsResult& s, model::StaticRefs& refs) {
  const double Fi_1 = y[ix::Fi_1];
  const double Fi_3 = y[ix::Fi_3];
  const double Z_02 = y[ix::Z_02];
  const double s1 = checked::sin(Fi_1);
  const double c1 = checked::cos(Fi_1);
  const double s3 = checked::sin(Fi_3);
  const double c3 = checked::cos(Fi_3);
  const double a_3 = s.a_3;
  const double load_and_carriage = s.a_4 * par.m_4 + s.a_2 * par.m_2;

  // Lift cylinder and chains carry the carriage and the load.
  s.dl_lift = ((c1 * (par.m_4 + par.m_2)) * par.g) / par.c_lift;

  // Tilt cylinder: attachment points, line angle, length and the two moment balances.
  const double xh_1r = c1 * par.xh_1 + s1 * par.zh_1;
  const double zh_1r = -(s1 * par.xh_1) + c1 * par.zh_1;
  const double xh_3r = c3 * par.xh_3 + s3 * par.zh_3;
  const double zh_3r = -(s3 * par.xh_3) + c3 * par.zh_3;
  const double fi_h = checked::atan((zh_3r - zh_1r) / (xh_1r - xh_3r));
  const double dx = xh_1r - xh_3r;
  const double dz = zh_1r - zh_3r;
  s.lh_0 = checked::sqrt(dx * dx + dz * dz);
  const double sh = checked::sin(fi_h);
  const double ch = checked::cos(fi_h);
  const double k_1 = (sh * xh_1r + ch * zh_1r) * par.c_tilt;
  const double k_3 = (sh * xh_3r + ch * zh_3r) * par.c_tilt;
  s.dl_t1 = ((load_and_carriage + s.a_1 * par.m_1) * par.g) / k_1;
  // The body balance takes the model's steered-wheel force, not the static one.
  s.dl_t3 = -(((c3 * par.L_b) * F_kp) + (par.g * a_3) * par.m_3) / k_3;
  s.dl_tilt = (s.dl_t3 + s.dl_t1) / 2.0;
  refs.lh_free = s.lh_0 - s.dl_tilt;

  s.SF12 = par.c_lift * s.dl_lift;
  s.SF13 = s.dl_tilt * par.c_tilt;
  refs.z02_0 = Z_02 + s.dl_lift;
}

}  // namespace liftsim::run
