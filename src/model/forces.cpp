#include "model/forces.h"

#include <cmath>

#include "model/road.h"
#include "textio/fpe.h"

namespace liftsim::model {

namespace {

// Engine characteristic and transmission.
constexpr double N_e = 10.0;                  // power constant (kW)
constexpr double a_e = double{0.53f};         // linear coefficient
constexpr double b_e = double{1.56f};         // quadratic coefficient
constexpr double c_e = double{1.09f};         // cubic coefficient
constexpr double n_N = 1750.0;                // rated speed (rpm)
constexpr double i_tr = double{21.88f};       // engine speed per unit of wheel-shaft speed
constexpr double eta_tr = double{0.8f};       // transmission efficiency
constexpr double n_min = 800.0;               // below this speed the torque is linear in the speed
constexpr double pi_rpm = double{3.141592f};  // the pi that converts rad/s to rpm

// Engine torque on the cubic characteristic at the speed n (rpm). The cube is the library power
// with exponent 3.0, rounded once; two multiplications would round twice and can differ.
double characteristic(double n) {
  const double q = n / n_N;
  return ((((b_e * (q * q) + (a_e * n) / n_N) - c_e * checked::pow(q, 3.0)) * N_e) * 9550.0) / n;
}

}  // namespace

WheelContact traction_contact(const Par& par, double X_013, double Z_013) {
  double dz_t = z_road(X_013) + (par.R_t - Z_013);
  if (dz_t < 0.0) dz_t = 0.0;
  return {dz_t, par.c_tr * dz_t};
}

WheelContact steered_contact(const Par& par, double x_k, double z_k) {
  double dz_k = z_road(x_k) + (par.R_k - z_k);
  if (dz_k < 0.0) dz_k = 0.0;
  return {dz_k, (par.c_buf * par.c_kr) * dz_k / (par.c_buf + par.c_kr)};
}

double engine_speed(double VFi_tk) {
  return ((VFi_tk * i_tr) / pi_rpm) * 30.0;
}

double drive_torque(double n_e) {
  const double M_min = characteristic(n_min);
  const double M_0 = double{0.3f} * M_min;  // torque at standstill
  double torque;
  if (n_e <= n_min) {
    torque = ((M_min - M_0) / n_min) * n_e + M_0;
  } else {
    torque = characteristic(n_e);
  }
  double M_eng = (torque * i_tr) * eta_tr;
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

}  // namespace liftsim::model
