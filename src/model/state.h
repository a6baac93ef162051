// The truck model's data: state layout, parameters, published values, static references, history.
#pragma once

#include <array>
#include <cstdint>

namespace liftsim::model {

// Number of state components.
inline constexpr int kNdim = 14;

// Zero-based positions of the quantities in the interleaved state vector y (and in dery).
namespace ix {
inline constexpr int VX_013 = 0;   // velocity of X_01.3
inline constexpr int VZ_013 = 1;   // velocity of Z_01.3
inline constexpr int VFi_1 = 2;    // angular velocity of the mast
inline constexpr int VFi_3 = 3;    // angular velocity of the body
inline constexpr int VZ_02 = 4;    // carriage velocity along the mast
inline constexpr int X_013 = 5;    // traction axle point, x
inline constexpr int Z_013 = 6;    // traction axle point, z
inline constexpr int Fi_1 = 7;     // mast angle
inline constexpr int Fi_3 = 8;     // body pitch
inline constexpr int Z_02 = 9;     // carriage travel
inline constexpr int VX_C4 = 10;   // load velocity along the forks
inline constexpr int VFi_tk = 11;  // wheel-shaft angular velocity
inline constexpr int X_C4 = 12;    // load travel along the forks
inline constexpr int Fi_tk = 13;   // wheel-shaft angle
}  // namespace ix

using StateVector = std::array<double, kNdim>;

// The truck's constant parameters for one run: read from the input, built in, or set by name.
struct Par {
  double m_1 = 0.0, m_2 = 0.0, m_3 = 0.0, m_4 = 0.0;  // masses: mast, carriage, body, load
  double xc_1 = 0.0, xc_2 = 0.0, xc_3 = 0.0, xc_4 = 0.0;
  double zc_1 = 0.0, zc_2 = 0.0, zc_3 = 0.0, zc_4 = 0.0;
  double eps = 0.0;   // accuracy (echoed only)
  double x_O2 = 0.0;  // origin of the carriage system X2O2Z2
  double J_1 = 0.0, J_2 = 0.0, J_3 = 0.0, J_4 = 0.0;
  double g = 0.0;                  // gravitational acceleration
  double J_tk = 0.0;               // wheel-shaft moment of inertia
  double c_tt = 0.0, c_tr = 0.0;   // traction tyre stiffness: tangential, radial
  double f_t = 0.0, R_t = 0.0;     // traction wheel: rolling friction, radius
  double c_kr = 0.0, c_buf = 0.0;  // steered tyre and rubber buffer stiffness
  double f_k = 0.0, R_k = 0.0;     // steered wheel: rolling friction, radius
  double L_b = 0.0;                // wheelbase
  double xh_1 = 0.0, zh_1 = 0.0, xh_3 = 0.0, zh_3 = 0.0;  // tilt-cylinder attachment points
  double c_lift = 0.0, c_tilt = 0.0;  // lift cylinder with chains; tilt cylinder
  double M_eng = 0.0;                 // engine torque as given (echoed; the engine law drives)
  double f_fr = 0.0;                  // friction coefficient of the load on the forks
  // Engine characteristic and transmission.
  double N_e = 0.0;     // power constant (kW)
  double a_e = 0.0;     // linear coefficient
  double b_e = 0.0;     // quadratic coefficient
  double c_e = 0.0;     // cubic coefficient
  double n_N = 0.0;     // rated speed (rpm)
  double i_tr = 0.0;    // engine speed per unit of wheel-shaft speed
  double eta_tr = 0.0;  // transmission efficiency
  double n_min = 0.0;   // below this speed (rpm) the torque is linear in the speed
  double l_fork = 0.0;  // fork length ahead of the carriage origin (valid range of X_C4)
};

// What the model publishes at each evaluation for the step output and its observers, which see
// the state of the last evaluation (an output point always follows an evaluation of its state).
struct Published {
  // horizontal centre-of-mass offsets from the traction axle, rotated with their parts
  double xc_1r = 0.0, xc_2r = 0.0, xc_3r = 0.0, xc_4r = 0.0;
  double F_kp = 0.0;   // steered-wheel force
  double M_eng = 0.0;  // drive torque at the wheel shaft
  double n_e = 0.0;    // engine speed, rpm
  // sines and cosines of Fi_1 and Fi_3 of the evaluated state
  double s1 = 0.0, c1 = 1.0, s3 = 0.0, c3 = 1.0;
};

// References set once by the statics and read by the model and the step output.
struct StaticRefs {
  double lh_free = 0.0;  // free length of the tilt cylinder
  double z02_0 = 0.0;    // carriage travel at which the lift cylinder and chains carry no force
};

// Finite-difference rates of six velocities between output points.
struct Rates {
  double ax_013 = 0.0;  // of VX_01.3
  double az_013 = 0.0;  // of VZ_01.3
  double afi_1 = 0.0;   // of VFi_1
  double afi_3 = 0.0;   // of VFi_3
  double az_02 = 0.0;   // of VZ_02
  double ax_c4 = 0.0;   // of VX_C4
};

// History the step output keeps from one output point to the next; the model reads it back.
struct OutputHistory {
  std::array<double, kNdim + 1> ypop{};  // state (0..13) and time (14) of the last output point
  std::int32_t n_out = 0;                // output calls since the run began
  double fi_roll = 0.0;                  // rolling angle of the traction wheel
  double t_prev = 0.0;                   // time of the previous output call
  double t_last = 0.0;                   // time of the last rate evaluation
  StateVector y_prev{};                  // state at the previous output call
  Rates acc_fd;                          // rates at the last output point
};

// The single-precision pi of the program (3.141592 as a float): the static scan, the engine speed
// in rpm and the angles in degrees all use it.
inline constexpr double kPi = double{3.141592f};

inline constexpr int kObservationPoints = 3;

// The observation points fixed to the body (body coordinates).
struct ObservationPoints {
  std::array<double, kObservationPoints> xp{};
  std::array<double, kObservationPoints> zp{};
};

}  // namespace liftsim::model
