#include "model/forces.h"

#include <algorithm>
#include <cmath>

#include "textio/fpe.h"

namespace liftsim::model {

namespace {

// Engine torque on the cubic characteristic at the speed n (rpm). The cube is the library power
// with exponent 3.0, rounded once; two multiplications would round twice and can differ.
double characteristic(const Par& p, double n) {
  const double q = n / p.n_N;
  return ((((p.b_e * (q * q) + (p.a_e * n) / p.n_N) - p.c_e * checked::pow(q, 3.0)) * p.N_e) *
          9550.0) /
         n;
}

}  // namespace

WheelContact traction_contact(const Par& par, const Road& road, double X_013, double Z_013) {
  double dz_t = road.z(X_013) + (par.R_t - Z_013);
  if (dz_t < 0.0) dz_t = 0.0;
  return {dz_t, par.c_tr * dz_t};
}

WheelContact steered_contact(const Par& par, const Road& road, double x_k, double z_k) {
  double dz_k = road.z(x_k) + (par.R_k - z_k);
  if (dz_k < 0.0) dz_k = 0.0;
  return {dz_k, (par.c_buf * par.c_kr) * dz_k / (par.c_buf + par.c_kr)};
}

Wheels wheel_contacts(const Model& m, double X_013, double Z_013, double x_k, double z_k) {
  const Par& par = m.par;
  Wheels w;
  if (m.kind == Kind::legacy) {
    w.traction = traction_contact(par, m.road, X_013, Z_013);
    w.steered = steered_contact(par, m.road, x_k, z_k);
    w.r = Z_013 - m.road.z(X_013);
    return w;
  }
  // The axle's distance from the road line through the point under it: the height above the road
  // times the cosine of the road's angle.
  auto normal = [&m](double x, double z, double& c, double& s, double& height) {
    const double slope = m.road.slope(x);
    c = 1.0 / std::sqrt(1.0 + slope * slope);
    s = slope * c;
    height = (z - m.road.z(x)) * c;
  };
  double steered_height = 0.0;
  normal(X_013, Z_013, w.ct, w.st, w.r);
  normal(x_k, z_k, w.ck, w.sk, steered_height);
  w.traction.dz = std::max(par.R_t - w.r, 0.0);
  w.traction.F = par.c_tr * w.traction.dz;
  w.steered.dz = std::max(par.R_k - steered_height, 0.0);
  w.steered.F = (par.c_buf * par.c_kr) * w.steered.dz / (par.c_buf + par.c_kr);
  return w;
}

// The single-precision pi, not the true one, converts rad/s to rpm.
double engine_speed(const Par& par, double VFi_tk) {
  return ((VFi_tk * par.i_tr) / kPi) * 30.0;
}

EngineCurve engine_curve(const Par& par) {
  EngineCurve curve;
  curve.M_min = characteristic(par, par.n_min);
  curve.M_0 = double{0.3f} * curve.M_min;
  return curve;
}

double drive_torque(const Par& par, const EngineCurve& curve, double n_e) {
  double torque;
  if (n_e <= par.n_min) {
    torque = ((curve.M_min - curve.M_0) / par.n_min) * n_e + curve.M_0;
  } else {
    torque = characteristic(par, n_e);
  }
  double M_eng = (torque * par.i_tr) * par.eta_tr;
  if (M_eng < 0.0) M_eng = 0.0;
  return M_eng;
}

double load_force(double vx4, double Fi_1, double W, double F_fr) {
  if (vx4 < 0.0) {
    const double s_fr = -1.0;
    return W - s_fr * F_fr;
  }
  if (vx4 > 0.0) {
    const double s_fr = 1.0;
    return W - s_fr * F_fr;
  }
  // At rest: the load stays unless its weight component overcomes the friction limit.
  const double D = std::fabs(W) - std::fabs(F_fr);
  if (D < 0.0) return 0.0;
  if (Fi_1 > 0.0) return D;
  if (Fi_1 < 0.0) return -D;
  return 0.0;
}

double shaft_moment(double VFi_tk, double M_net, double M_f) {
  if (VFi_tk == 0.0 && std::fabs(M_net) - std::fabs(M_f) <= 0.0) return 0.0;
  return M_net - M_f;
}

double shaft_friction(double VFi_tk, double M_net, double limit, double inertia, double hold_time) {
  const double wanted = M_net + inertia * VFi_tk / hold_time;
  return std::clamp(wanted, -limit, limit);
}

}  // namespace liftsim::model
