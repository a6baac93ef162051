#include "model/fct.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/assemble.h"
#include "model/forces.h"
#include "numeric/simq.h"
#include "textio/fpe.h"

namespace liftsim::model {

void fct_assemble(double x, const double* y, const Model& model, Published& pub,
                  const OutputHistory& hist, Assembly& out) {
  namespace chk = liftsim::checked;
  const Par& par = model.par;
  const StaticRefs& refs = model.refs;

  const double g = par.g;

  const double VX_013 = y[ix::VX_013];
  const double w1 = y[ix::VFi_1];
  const double w3 = y[ix::VFi_3];
  const double vz2 = y[ix::VZ_02];
  const double vx4 = y[ix::VX_C4];
  const double VFi_tk = y[ix::VFi_tk];
  const double X_013 = y[ix::X_013];
  const double Z_013 = y[ix::Z_013];
  const double Fi_1 = y[ix::Fi_1];
  const double Fi_3 = y[ix::Fi_3];
  const double Z_02 = y[ix::Z_02];
  const double X_C4 = y[ix::X_C4];
  const double Fi_tk = y[ix::Fi_tk];

  const double m_1 = par.m_1, m_2 = par.m_2, m_3 = par.m_3, m_4 = par.m_4;

  // Centre-of-mass offsets from the traction axle, turned with their parts: mast, carriage and
  // load by Fi_1, body by Fi_3. Carriage and load sit in the carriage system, whose origin is
  // x_O2 along the forks and Z_02 up the mast.
  const double s1 = chk::sin(Fi_1);
  const double c1 = chk::cos(Fi_1);
  const double s3 = chk::sin(Fi_3);
  const double c3 = chk::cos(Fi_3);
  pub.s1 = s1;
  pub.c1 = c1;
  pub.s3 = s3;
  pub.c3 = c3;
  const double xc_1r = par.xc_1 * c1 + par.zc_1 * s1;
  const double zc_1r = par.zc_1 * c1 - par.xc_1 * s1;
  const double xc_2r = (par.zc_2 + Z_02) * s1 + (par.xc_2 + par.x_O2) * c1;
  const double zc_2r = (par.zc_2 + Z_02) * c1 - (par.xc_2 + par.x_O2) * s1;
  const double xc_4r = (par.zc_4 + Z_02) * s1 + (X_C4 + par.x_O2) * c1;
  const double zc_4r = (par.zc_4 + Z_02) * c1 - (X_C4 + par.x_O2) * s1;
  const double xc_3r = par.xc_3 * c3 + par.zc_3 * s3;
  const double zc_3r = par.zc_3 * c3 - par.xc_3 * s3;
  pub.xc_1r = xc_1r;
  pub.xc_2r = xc_2r;
  pub.xc_4r = xc_4r;
  pub.xc_3r = xc_3r;

  // Mass matrix, upper triangle row by row, then mirrored.
  auto& a = out;
  a.a(1, 1) = m_4 + m_2 + m_3 + m_1;
  a.a(1, 2) = 0.0;
  a.a(1, 3) = zc_2r * m_2 + zc_4r * m_4 + zc_1r * m_1;
  a.a(1, 4) = zc_3r * m_3;
  a.a(1, 5) = s1 * (m_4 + m_2);
  a.a(1, 6) = c1 * m_4;
  a.a(1, 7) = 0.0;
  a.a(2, 2) = m_4 + m_2 + m_3 + m_1;
  a.a(2, 3) = -(xc_2r * m_2 + xc_4r * m_4 + xc_1r * m_1);
  a.a(2, 4) = -(xc_3r * m_3);
  a.a(2, 5) = c1 * (m_4 + m_2);
  a.a(2, 6) = -(s1 * m_4);
  a.a(2, 7) = 0.0;
  a.a(3, 3) = (xc_4r * xc_4r + zc_4r * zc_4r) * m_4 + (xc_2r * xc_2r + zc_2r * zc_2r) * m_2 +
              (xc_1r * xc_1r + zc_1r * zc_1r) * m_1 + par.J_1 + par.J_4 + par.J_2;
  a.a(3, 4) = 0.0;
  a.a(3, 5) = (s1 * zc_4r - c1 * xc_4r) * m_4 + (s1 * zc_2r - c1 * xc_2r) * m_2;
  a.a(3, 6) = (s1 * xc_4r + c1 * zc_4r) * m_4;
  a.a(3, 7) = 0.0;
  a.a(4, 4) = (zc_3r * zc_3r + xc_3r * xc_3r) * m_3 + par.J_3;
  a.a(4, 5) = 0.0;
  a.a(4, 6) = 0.0;
  a.a(4, 7) = 0.0;
  a.a(5, 5) = m_4 + m_2;
  a.a(5, 6) = 0.0;
  a.a(5, 7) = 0.0;
  a.a(6, 6) = m_4;
  a.a(6, 7) = 0.0;
  a.a(7, 7) = par.J_tk;
  for (int i = 2; i <= kNq; ++i) {
    for (int j = 1; j < i; ++j) a.a(i, j) = a.a(j, i);
  }

  Elements& el = out.el;

  // Steered-axle point of the body, global.
  const double x_k = X_013 - par.L_b * c3;
  const double z_k = par.L_b * s3 + Z_013;

  // Tilt-cylinder attachment points and the angle of the line between them. The legacy model
  // places the points in global coordinates and takes the moment arms of the cylinder and the
  // steered wheel from there; the sound model keeps them relative to the traction axle point,
  // about which mast and body turn.
  const bool sound = model.kind == Kind::sound;
  double xh_1r, zh_1r, xh_3r, zh_3r;
  if (sound) {
    xh_1r = par.xh_1 * c1 + par.zh_1 * s1;
    zh_1r = par.zh_1 * c1 - par.xh_1 * s1;
    xh_3r = par.xh_3 * c3 + par.zh_3 * s3;
    zh_3r = par.zh_3 * c3 - par.xh_3 * s3;
  } else {
    xh_1r = par.xh_1 * c1 + par.zh_1 * s1 + X_013;
    zh_1r = Z_013 - par.xh_1 * s1 + par.zh_1 * c1;
    xh_3r = par.xh_3 * c3 + par.zh_3 * s3 + X_013;
    zh_3r = Z_013 - par.xh_3 * s3 + par.zh_3 * c3;
  }
  const double fi_h = chk::atan((zh_3r - zh_1r) / (xh_1r - xh_3r));

  // Traction tyre, radial, and the steered tyre with its buffer: each pushes only in contact.
  const Wheels wheels = wheel_contacts(model, X_013, Z_013, x_k, z_k);
  const double F_tp = wheels.traction.F;
  el.dz_t = wheels.traction.dz;
  el.F_tp = F_tp;
  const double F_kp = wheels.steered.F;
  el.dz_k = wheels.steered.dz;
  pub.F_kp = F_kp;

  // Rolling resistance as moments on the wheel shaft.
  const double M_ft = par.f_t * F_tp;
  const double M_fk = par.f_k * F_kp;
  const double M_f = M_fk + M_ft;
  el.M_f = M_f;

  // Traction tyre, tangential: the wheel angle less the rolling angle reached at the last output
  // point and the rolling since then at the current speed (legacy); the wheel angle less the
  // distance rolled along the road over the rolling radius (sound).
  const double r = sound ? model.r_roll : wheels.r;
  const double dfi_t = sound ? Fi_tk - model.road.arc_length(model.x_start, X_013) / r
                             : (Fi_tk - hist.fi_roll) - (VX_013 / r) * (x - hist.t_last);
  const double F_tt = par.c_tt * dfi_t / r;
  el.r = r;
  el.dfi_t = dfi_t;
  el.F_tt = F_tt;

  // Tilt cylinder between mast and body, a two-sided spring.
  const double dxh = xh_1r - xh_3r;
  const double dzh = zh_1r - zh_3r;
  const double l_h = chk::sqrt(dxh * dxh + dzh * dzh);
  const double F_13 = (l_h - refs.lh_free) * par.c_tilt;
  el.l_h = l_h;
  el.F_13 = F_13;

  // Lift cylinder and chains, one-sided: the chains go slack when the carriage is above z02_0.
  double dl_12 = refs.z02_0 - Z_02;
  if (dl_12 < 0.0) dl_12 = 0.0;
  el.dl_12 = dl_12;

  // Load on the forks: accelerations estimated from the rates of the last output point, the
  // friction limit from the resulting pressure on the forks, and the weight along the forks.
  const Rates& rt = hist.acc_fd;
  const double w1sq = w1 * w1;
  const double a_z4 = rt.az_013 - xc_4r * rt.afi_1 - s1 * rt.ax_c4 + c1 * rt.az_02 - w1sq * zc_4r -
                      2.0 * (c1 * vx4 + s1 * vz2) * w1;
  const double a_x4 = rt.ax_013 - zc_4r * rt.afi_1 - c1 * rt.ax_c4 + s1 * rt.az_02 - w1sq * xc_4r +
                      2.0 * (c1 * vz2 - s1 * vx4) * w1;
  const double F_fr = (c1 * (g + a_z4) + s1 * a_x4) * m_4 * par.f_fr;
  const double W = s1 * g * m_4;
  el.a_z4 = a_z4;
  el.a_x4 = a_x4;
  el.F_fr = F_fr;
  el.W = W;

  // Engine through the transmission, or the torque given over time; then the moments on the wheel
  // shaft.
  const Drive& drive = model.drive;
  const double n_e = engine_speed(par, VFi_tk);
  const double M_eng =
      drive.engine_law() ? drive_torque(par, model.engine, n_e) : drive.torque.at(x);
  pub.M_eng = M_eng;
  pub.n_e = n_e;
  const double M_net = M_eng - par.c_tt * dfi_t;
  el.n_e = n_e;
  el.M_net = M_net;

  // Generalized forces: velocity-dependent inertia terms, gravity and the element forces, with the
  // arms of the cylinder and steered-wheel forces as chosen above.
  const double sfh = chk::sin(fi_h);
  const double cfh = chk::cos(fi_h);
  // The road's reactions: vertical in the legacy model; in the sound model along the road's
  // normal (radial) and along the road (tangential), which on level ground is the same.
  const double inertia_x = -(w1sq * a.a(2, 3)) - 2.0 * a.a(2, 5) * w1 * vz2 -
                           2.0 * a.a(2, 6) * vx4 * w1 - w3 * w3 * a.a(2, 4);
  const double inertia_z = 2.0 * a.a(1, 5) * w1 * vz2 + 2.0 * a.a(1, 6) * vx4 * w1 +
                           w3 * w3 * a.a(1, 4) + w1sq * a.a(1, 3) - a.a(1, 1) * g;
  if (sound) {
    a.b(1) = inertia_x + ((wheels.ct * F_tt - wheels.st * F_tp) - wheels.sk * F_kp);
    a.b(2) = inertia_z + ((wheels.ct * F_tp + wheels.st * F_tt) + wheels.ck * F_kp);
  } else {
    a.b(1) = inertia_x + F_tt;
    a.b(2) = inertia_z + F_kp + F_tp;
  }
  a.b(3) = (m_1 * xc_1r + m_4 * xc_4r + m_2 * xc_2r) * g - (sfh * xh_1r + cfh * zh_1r) * F_13 -
           2.0 * ((s1 * xc_2r + c1 * zc_2r) * m_2 + a.a(3, 6)) * w1 * vz2 -
           2.0 * (c1 * xc_4r - s1 * zc_4r) * vx4 * w1 * m_4;
  if (sound) {
    // The steered wheel's reaction along the road's normal, at the steered axle.
    a.b(4) = (sfh * xh_3r + cfh * zh_3r) * F_13 + g * m_3 * xc_3r +
             F_kp * (par.L_b * (wheels.ck * c3 - wheels.sk * s3));
  } else {
    a.b(4) = (sfh * xh_3r + cfh * zh_3r) * F_13 + g * m_3 * xc_3r - x_k * F_kp;
  }
  a.b(5) = (s1 * (xc_2r * m_2 + xc_4r * m_4) + c1 * (zc_2r * m_2 + zc_4r * m_4)) * w1sq +
           2.0 * vx4 * w1 * m_4 - a.a(2, 5) * g + par.c_lift * dl_12;
  if (sound) {
    // The sound model's load: Coulomb friction from a pressure that cannot pull, and near rest
    // the load held by whatever friction it takes, up to the limit (see solve_accelerations).
    const double limit = F_fr > 0.0 ? F_fr : 0.0;
    out.hold_load = std::fabs(vx4) <= kLoadHoldSpeed * model.hold_time;
    a.b(6) = out.hold_load ? W : W - (vx4 < 0.0 ? -limit : limit);
  } else {
    a.b(6) = load_force(vx4, Fi_1, W, F_fr);
  }
  // The torque the body feels back from the shaft: the drive's, and the brake's share of the
  // friction (the rolling resistance comes from the road). Not under the engine law, whose shaft
  // sticks by a rule that takes any torque from nowhere.
  double on_body = 0.0;
  if (drive.engine_law() && !drive.braked()) {
    a.b(7) = shaft_moment(VFi_tk, M_net, M_f);
  } else {
    on_body = M_eng;
    // Rolling resistance and brake as one friction torque against the rotation.
    const double brake = drive.hold ? std::numeric_limits<double>::infinity() : drive.brake.at(x);
    const double friction = shaft_friction(VFi_tk, M_net, M_f + brake, par.J_tk, model.hold_time);
    a.b(7) = M_net - friction;
    if (drive.hold) {
      on_body -= friction;
    } else if (M_f + brake > 0.0) {
      on_body -= friction * (brake / (M_f + brake));
    }
  }
  // The drive and the brake are mounted in the body: in the sound model what they put on the
  // shaft they take from the body's pitch (the legacy model's traction force acts at the axle,
  // which leaves out the same moment: braking pitches its body too little).
  if (sound) a.b(4) -= on_body;
}

void solve_accelerations(Assembly& sys, const Model& model, double vx4) {
  int ks = 0;
  if (!sys.hold_load) {
    // A singular matrix (a massless load) leaves B partly reduced, and the run goes on with it.
    numeric::Simq(sys.A.data(), sys.B.data(), kNq, ks);
    return;
  }
  // The accelerations without friction on the load, and their change per newton of it: the
  // friction that brings the load's speed to rest within the hold time, within its limit.
  std::array<double, kNq * kNq> A = sys.A;
  std::array<double, kNq> unit{};
  unit[5] = 1.0;
  numeric::Simq(sys.A.data(), sys.B.data(), kNq, ks);
  numeric::Simq(A.data(), unit.data(), kNq, ks);
  const double limit = sys.el.F_fr > 0.0 ? sys.el.F_fr : 0.0;
  const double wanted = (-vx4 / model.hold_time - sys.B[5]) / unit[5];
  const double friction = std::clamp(wanted, -limit, limit);
  for (int k = 0; k < kNq; ++k) sys.B[k] += friction * unit[k];
}

const char* kind_name(Kind kind) {
  return kind == Kind::sound ? "sound" : "legacy";
}

void Fct(double x, const double* y, double* dery, const Model& model, Published& pub,
         const OutputHistory& hist) {
  // Coordinates advance with their velocities. The state holds the velocities of q1..q5, then
  // those coordinates, then the same pair of blocks for q6 and q7.
  constexpr int kFirstBlock = ix::X_013 - ix::VX_013;  // q1..q5
  for (int i = 0; i < kFirstBlock; ++i) dery[ix::X_013 + i] = y[ix::VX_013 + i];
  dery[ix::X_C4] = y[ix::VX_C4];
  dery[ix::Fi_tk] = y[ix::VFi_tk];

  Assembly sys;
  fct_assemble(x, y, model, pub, hist, sys);

  solve_accelerations(sys, model, y[ix::VX_C4]);

  // Accelerations of q1..q7 into the velocity positions.
  for (int k = 1; k <= kFirstBlock; ++k) dery[ix::VX_013 + (k - 1)] = sys.b(k);
  dery[ix::VX_C4] = sys.b(6);
  dery[ix::VFi_tk] = sys.b(7);
}

}  // namespace liftsim::model
