#include "output/logged.h"

#include <cmath>

#include "model/forces.h"
#include "textio/fpe.h"

namespace liftsim::output {
namespace {

namespace ix = model::ix;

// 32-bit integer arithmetic wraps around.
std::int32_t wrap_add(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
std::int32_t wrap_sub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
std::int32_t wrap_mul(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

}  // namespace

Trig trig_of(const double* y) {
  Trig t;
  t.s1 = checked::sin(y[ix::Fi_1]);
  t.c1 = checked::cos(y[ix::Fi_1]);
  t.s3 = checked::sin(y[ix::Fi_3]);
  t.c3 = checked::cos(y[ix::Fi_3]);
  return t;
}

void compute_forces(const double* y, const model::Model& m, const Trig& t, Logged& lg) {
  const model::Par& par = m.par;
  const double s1 = t.s1, c1 = t.c1, s3 = t.s3, c3 = t.c3;

  // Steered wheel (tyre and buffer in series) and traction wheel: no pull when lifted.
  lg.x_k = y[ix::X_013] - par.L_b * c3;
  lg.z_k = y[ix::Z_013] + par.L_b * s3;
  const model::Wheels wheels = model::wheel_contacts(m, y[ix::X_013], y[ix::Z_013], lg.x_k, lg.z_k);
  lg.dz_k = wheels.steered.dz;
  lg.F_kp = wheels.steered.F;
  lg.dz_t = wheels.traction.dz;
  lg.F_tp = wheels.traction.F;

  // Tilt cylinder between the mast and body attachment points; pushes as well as pulls.
  lg.u1 = par.xh_1 * c1 + par.zh_1 * s1;
  lg.w1 = par.zh_1 * c1 - par.xh_1 * s1;
  lg.u3 = par.xh_3 * c3 + par.zh_3 * s3;
  lg.w3 = par.zh_3 * c3 - par.xh_3 * s3;
  const double dw = lg.w1 - lg.w3;
  const double du = lg.u1 - lg.u3;
  lg.l_h = checked::sqrt(dw * dw + du * du);
  lg.F_13 = (lg.l_h - m.refs.lh_free) * par.c_tilt;

  // Lift cylinder and chains: the chains take no compression.
  lg.F_12 = (m.refs.z02_0 - y[ix::Z_02]) * par.c_lift;
  if (lg.F_12 < 0.0) lg.F_12 = 0.0;
}

Logged compute_logged(double /*x*/, const double* y, const model::Model& m,
                      const model::ObservationPoints& obs, const model::OutputHistory& hist) {
  Logged lg;
  const model::Par& par = m.par;
  const Trig t = trig_of(y);
  compute_forces(y, m, t, lg);
  const double s3 = t.s3;
  const double c3 = t.c3;

  lg.Fi_1deg = (y[ix::Fi_1] / model::kPi) * 180.0;
  lg.Fi_3deg = (y[ix::Fi_3] / model::kPi) * 180.0;
  lg.Fi_tkdeg = (y[ix::Fi_tk] / model::kPi) * 180.0;

  // Analytic traction-wheel load of the two-mass chain (truck on the tyres, load on the tilt
  // cylinder), with the masses in whole kilograms.
  lg.m_tru = checked::to_int32((par.m_2 + par.m_3) + par.m_1);
  lg.m_lod = checked::to_int32(par.m_4);
  const double m_tru = static_cast<double>(lg.m_tru);
  const double m_lod = static_cast<double>(lg.m_lod);
  lg.c_t = (par.c_tt * par.c_tr) / (par.c_tt + par.c_tr);
  const double two_m_m = static_cast<double>(wrap_mul(wrap_mul(2, lg.m_lod), lg.m_tru));
  lg.s_om = ((lg.c_t + par.c_tilt) * m_lod + m_tru * par.c_tilt) / two_m_m;
  lg.k_om = ((par.c_tilt * lg.c_t) / m_tru) / m_lod;
  lg.q = checked::sqrt(lg.s_om * lg.s_om - lg.k_om);
  lg.om_1 = checked::to_int32(checked::sqrt(std::abs(lg.q - lg.s_om)));
  lg.om_2 = checked::to_int32(checked::sqrt(std::abs(lg.s_om + lg.q)));
  lg.om_r = (y[ix::VX_013] * double{6.28f}) / 2.0;
  const double om_r2 = lg.om_r * lg.om_r;
  lg.A_r = ((((om_r2 * m_lod) / par.c_tilt - 1.0) * par.c_tilt * lg.c_t) /
            ((om_r2 - 2.0 * lg.s_om) * om_r2 + lg.k_om)) /
           m_tru / m_lod;
  const std::int32_t O1 = wrap_mul(lg.om_1, lg.om_1);
  const std::int32_t O2 = wrap_mul(lg.om_2, lg.om_2);
  const double dO1 = static_cast<double>(O1);
  const double dO2 = static_cast<double>(O2);
  const double O1_O2 = static_cast<double>(wrap_sub(O1, O2));
  const double mass = static_cast<double>(wrap_add(lg.m_tru, lg.m_lod));
  const double k11 = double{0.11f};
  lg.F_an = ((dO1 - om_r2) * lg.A_r + k11 * dO1) * (lg.c_t / O1_O2) -
            ((dO2 - om_r2) * lg.A_r + k11 * dO2) - (k11 + lg.A_r) * lg.c_t + mass * par.g;

  // Observation points fixed to the body.
  const model::Rates& acc = hist.acc_fd;
  const double w3sq = y[ix::VFi_3] * y[ix::VFi_3];
  for (int p = 0; p < model::kObservationPoints; ++p) {
    const double rx = obs.xp[p] * c3 + obs.zp[p] * s3;
    const double rz = obs.zp[p] * c3 - obs.xp[p] * s3;
    lg.ax_p[p] = acc.ax_013 - w3sq * rx + acc.afi_3 * rz;
    lg.az_p[p] = acc.az_013 - w3sq * rz - acc.afi_3 * rx;
  }
  return lg;
}

}  // namespace liftsim::output
