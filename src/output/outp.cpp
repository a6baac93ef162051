#include "output/outp.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "model/forces.h"
#include "model/road.h"
#include "output/history_files.h"
#include "textio/format.h"
#include "textio/fpe.h"
#include "textio/units.h"

namespace liftsim::output {

namespace {

using model::z_road;
namespace ix = model::ix;

// Only every 500th output call writes.
constexpr std::int32_t kThinning = 500;

// The pi of the degree conversion is the single-precision one.
constexpr double kPi = double{3.141592f};

consteval int unit_of(std::string_view name) {
  for (const HistoryFile& f : kHistoryFiles) {
    if (f.name == name) return f.unit;
  }
  throw "unknown time-history file";
}

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

const textio::Format& two_columns() {
  static const textio::Format f("(2X,E12.5,2X,E12.5)");
  return f;
}
const textio::Format& three_columns() {
  static const textio::Format f("(2X,E12.5,2X,E12.5,2X,E12.5)");
  return f;
}

// One record buffer for every writing call.
std::string& record_buffer() {
  static std::string buf = [] {
    std::string s;
    s.reserve(128);
    return s;
  }();
  return buf;
}

void write2(int unit, double x, double v) {
  std::string& buf = record_buffer();
  buf.clear();
  two_columns().render(buf, {x, v});
  textio::write_records(unit, buf);
}

void write3(int unit, double x, double v1, double v2) {
  std::string& buf = record_buffer();
  buf.clear();
  three_columns().render(buf, {x, v1, v2});
  textio::write_records(unit, buf);
}

void write_progress_line(std::int32_t n_out, double x) {
  std::string& buf = record_buffer();
  buf.clear();
  textio::append_list_directed(buf, n_out, x);
  buf += "\r\n";
  textio::write_console(buf);
}

}  // namespace

Logged compute_logged(double /*x*/, const double* y, const model::Par& par,
                      const model::StaticRefs& refs, const model::ObservationPoints& obs,
                      const model::OutputHistory& hist) {
  Logged lg;
  const double s1 = checked::sin(y[ix::Fi_1]);
  const double c1 = checked::cos(y[ix::Fi_1]);
  const double s3 = checked::sin(y[ix::Fi_3]);
  const double c3 = checked::cos(y[ix::Fi_3]);

  // Steered wheel: tyre and buffer in series, no pull when lifted.
  lg.x_k = y[ix::X_013] - par.L_b * c3;
  lg.z_k = y[ix::Z_013] + par.L_b * s3;
  const model::WheelContact steered = model::steered_contact(par, lg.x_k, lg.z_k);
  lg.dz_k = steered.dz;
  lg.F_kp = steered.F;

  // Traction wheel.
  const model::WheelContact traction = model::traction_contact(par, y[ix::X_013], y[ix::Z_013]);
  lg.dz_t = traction.dz;
  lg.F_tp = traction.F;

  // Tilt cylinder between the mast and body attachment points; pushes as well as pulls.
  lg.u1 = par.xh_1 * c1 + par.zh_1 * s1;
  lg.w1 = par.zh_1 * c1 - par.xh_1 * s1;
  lg.u3 = par.xh_3 * c3 + par.zh_3 * s3;
  lg.w3 = par.zh_3 * c3 - par.xh_3 * s3;
  const double dw = lg.w1 - lg.w3;
  const double du = lg.u1 - lg.u3;
  lg.l_h = checked::sqrt(dw * dw + du * du);
  lg.F_13 = (lg.l_h - refs.lh_free) * par.c_tilt;

  // Lift cylinder and chains: the chains take no compression.
  lg.F_12 = (refs.z02_0 - y[ix::Z_02]) * par.c_lift;
  if (lg.F_12 < 0.0) lg.F_12 = 0.0;

  lg.Fi_1deg = (y[ix::Fi_1] / kPi) * 180.0;
  lg.Fi_3deg = (y[ix::Fi_3] / kPi) * 180.0;
  lg.Fi_tkdeg = (y[ix::Fi_tk] / kPi) * 180.0;

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
            ((dO2 - om_r2) * lg.A_r + k11 * dO2) - (k11 + lg.A_r) * lg.c_t + mass * double{9.81f};

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

void Outp(double x, const double* y, int ndim, const model::Par& par, const model::StaticRefs& refs,
          const model::ObservationPoints& obs, model::OutputHistory& hist) {
  // The state vector has kNdim components; never copy past the history's arrays.
  const int n = std::clamp(ndim, 0, model::kNdim);

  for (int i = 0; i < n; ++i) hist.ypop[i] = y[i];
  hist.ypop[model::kNdim] = x;

  // Rolling angle of the traction wheel from the forward speed over the axle height.
  const double dt = x - hist.t_prev;
  hist.t_prev = x;
  hist.fi_roll = hist.fi_roll + (y[ix::VX_013] / (y[ix::Z_013] - z_road(y[ix::X_013]))) * dt;

  // Rates between output points; kept when the time has not moved.
  if (x != hist.t_last) {
    const double h = x - hist.t_last;
    model::Rates& acc = hist.acc_fd;
    acc.ax_013 = (y[ix::VX_013] - hist.y_prev[ix::VX_013]) / h;
    acc.az_013 = (y[ix::VZ_013] - hist.y_prev[ix::VZ_013]) / h;
    acc.afi_1 = (y[ix::VFi_1] - hist.y_prev[ix::VFi_1]) / h;
    acc.az_02 = (y[ix::VZ_02] - hist.y_prev[ix::VZ_02]) / h;
    acc.ax_c4 = (y[ix::VX_C4] - hist.y_prev[ix::VX_C4]) / h;
    acc.afi_3 = (y[ix::VFi_3] - hist.y_prev[ix::VFi_3]) / h;
    hist.t_last = x;
  }
  for (int i = 0; i < n; ++i) hist.y_prev[i] = y[i];

  if (hist.n_out % kThinning == 0) {
    const Logged lg = compute_logged(x, y, par, refs, obs, hist);
    write3(unit_of("1XZ2P.rez"), x, lg.ax_p[0], lg.az_p[0]);
    write3(unit_of("2XZ2P.rez"), x, lg.ax_p[1], lg.az_p[1]);
    write3(unit_of("3XZ2P.rez"), x, lg.ax_p[2], lg.az_p[2]);
    write2(unit_of("Engine.rez"), x, par.M_eng);
    write2(unit_of("F_13.rez"), x, lg.F_13);
    write2(unit_of("F_12.rez"), x, lg.F_12);
    write_progress_line(hist.n_out, x);
    write3(unit_of("F_tp.rez"), x, lg.F_tp, lg.F_an / 10.0);
    write2(unit_of("F_kp.rez"), x, lg.F_kp);
    write2(unit_of("vx_013.rez"), x, y[ix::VX_013]);
    write2(unit_of("vz_013.rez"), x, y[ix::VZ_013]);
    write2(unit_of("vfi1.rez"), x, y[ix::VFi_1]);
    write2(unit_of("vfi3.rez"), x, y[ix::VFi_3]);
    write2(unit_of("vz_02.rez"), x, y[ix::VZ_02]);
    write2(unit_of("x_013.rez"), x, y[ix::X_013]);
    write2(unit_of("z_013.rez"), x, y[ix::Z_013]);
    write2(unit_of("fi1.rez"), x, lg.Fi_1deg);
    write2(unit_of("fi3.rez"), x, lg.Fi_3deg);
    write2(unit_of("z_02.rez"), x, y[ix::Z_02]);
    write2(unit_of("vx_c4.rez"), x, y[ix::VX_C4]);
    write2(unit_of("vfi_tk.rez"), x, y[ix::VFi_tk]);
    write2(unit_of("x_c4.rez"), x, y[ix::X_C4]);
    write2(unit_of("fi_tk.rez"), x, lg.Fi_tkdeg);
  }

  hist.n_out = wrap_add(hist.n_out, 1);
}

}  // namespace liftsim::output
