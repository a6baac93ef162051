#include "params/table.h"

#include <cmath>

namespace liftsim::params {
namespace {

using textio::FieldFormat;

constexpr FieldFormat kF9_4{9, 4};
constexpr FieldFormat kF10_5{10, 5};
constexpr FieldFormat kE12_5{12, 5};
constexpr FieldFormat kNone{0, 0};

#define PAR(field) [](CaseValues& v) -> double& { return v.par.field; }
#define CTL(i) [](CaseValues& v) -> double& { return v.prmt[i]; }
#define XP(i) [](CaseValues& v) -> double& { return v.obs.xp[i]; }
#define ZP(i) [](CaseValues& v) -> double& { return v.obs.zp[i]; }
#define START(field) [](CaseValues& v) -> double& { return v.field; }

constexpr auto kPos = Range::positive;
constexpr auto kNonNeg = Range::non_negative;
constexpr auto kAny = Range::any;

// clang-format off
const Param kParams[] = {
    // name, unit, meaning, field, built-in, record, range
    {"m_1", "kg", "mass of the lifting mast", PAR(m_1), 210.0, 3, kPos},
    {"m_2", "kg", "mass of the carriage", PAR(m_2), 90.0, 4, kPos},
    {"m_3", "kg", "mass of the truck body", PAR(m_3), 1880.0, 5, kPos},
    {"m_4", "kg", "mass of the load", PAR(m_4), std::nullopt, 6, kPos},
    {"xc_1", "m", "x of the mast centre of mass", PAR(xc_1), double{0.07f}, 7, kAny},
    {"zc_1", "m", "z of the mast centre of mass", PAR(zc_1), double{0.825f}, 7, kAny},
    {"xc_2", "m", "x of the carriage centre of mass", PAR(xc_2), double{0.03f}, 8, kAny},
    {"zc_2", "m", "z of the carriage centre of mass", PAR(zc_2), double{0.825f}, 8, kAny},
    {"xc_3", "m", "x of the body centre of mass", PAR(xc_3), double{-0.999f}, 9, kAny},
    {"zc_3", "m", "z of the body centre of mass", PAR(zc_3), double{0.485f}, 9, kAny},
    {"xc_4", "m", "x of the load centre of mass (echoed only: the load's place on the forks is "
                  "the state X_C4)", PAR(xc_4), std::nullopt, 10, kAny, true, true},
    {"zc_4", "m", "z of the load centre of mass (load height in the carriage system)", PAR(zc_4),
     std::nullopt, 10, kAny},
    {"J_1", "kg*m^2", "moment of inertia of the mast", PAR(J_1), 70.0, 11, kPos},
    {"J_2", "kg*m^2", "moment of inertia of the carriage", PAR(J_2), 25.0, 12, kPos},
    {"J_3", "kg*m^2", "moment of inertia of the body", PAR(J_3), 300.0, 13, kPos},
    {"J_4", "kg*m^2", "moment of inertia of the load", PAR(J_4), 80.0, 14, kPos},
    {"J_tk", "kg*m^2", "moment of inertia of the traction-wheel shaft", PAR(J_tk), 1767.0, 15, kPos},
    {"c_tt", "N*m/rad", "traction tyre stiffness, tangential (torsional)", PAR(c_tt), 200000.0, 16,
     kPos},
    {"c_tr", "N/m", "traction tyre stiffness, radial", PAR(c_tr), 552000.0, 17, kPos},
    {"c_kr", "N/m", "steered tyre stiffness, radial", PAR(c_kr), 378000.0, 18, kPos},
    {"c_buf", "N/m", "rubber buffer stiffness", PAR(c_buf), 503000.0, 19, kPos},
    {"R_t", "m", "traction wheel radius", PAR(R_t), double{0.401f}, 20, kPos},
    {"R_k", "m", "steered wheel radius", PAR(R_k), double{0.401f}, 21, kPos},
    {"f_t", "m", "rolling-resistance lever arm of the traction wheels", PAR(f_t), double{0.012f},
     22, kNonNeg},
    {"f_k", "m", "rolling-resistance lever arm of the steered wheels", PAR(f_k), double{0.012f},
     23, kNonNeg},
    {"xh_1", "m", "x of the tilt-cylinder point on the mast (mast frame)", PAR(xh_1), 0.25, 24,
     kAny},
    {"zh_1", "m", "z of the tilt-cylinder point on the mast (mast frame)", PAR(zh_1),
     double{0.456f}, 24, kAny},
    {"xh_3", "m", "x of the tilt-cylinder point on the body (body frame)", PAR(xh_3),
     double{-0.253f}, 25, kAny},
    {"zh_3", "m", "z of the tilt-cylinder point on the body (body frame)", PAR(zh_3),
     double{0.38f}, 25, kAny},
    {"c_lift", "N/m", "stiffness of the lift cylinder and chains", PAR(c_lift), 120000.0, 26, kPos},
    {"c_tilt", "N/m", "stiffness of the tilt cylinder between mast and body", PAR(c_tilt),
     12000000.0, 27, kPos},
    {"x_O2", "m", "x of the origin of the carriage system X2O2Z2", PAR(x_O2), double{0.28f}, 28,
     kAny},
    {"L_b", "m", "wheelbase", PAR(L_b), double{0.9f}, 29, kPos},
    {"M_eng", "N*m", "engine torque as given (echoed only: the engine law below drives the "
                     "wheel shaft)", PAR(M_eng), 0.0, 30, kAny, true, true},
    {"f_fr", "1", "friction coefficient of the load on the forks", PAR(f_fr), double{0.15f}, 31,
     kNonNeg},
    {"eps", "1", "accuracy (echoed only)", PAR(eps), double{0.001f}, 32, kAny, true, true},
    {"t_start", "s", "start time", CTL(0), 0.0, 33, kAny},
    {"t_end", "s", "end time", CTL(1), 10.0, 34, kAny},
    {"h_max", "s", "initial and largest integration step", CTL(2), double{0.001f}, 35, kPos},
    {"tol", "1", "error bound of the step control (weighted sum over the state)", CTL(3),
     double{0.004f}, 36, kPos},
    {"stop", "1", "stop flag of the integrator (always 0)", CTL(4), 0.0, 37, kAny, false},
    {"xp_1", "m", "x of observation point 1 on the body (body frame)", XP(0), std::nullopt, 38,
     kAny},
    {"zp_1", "m", "z of observation point 1 on the body (body frame)", ZP(0), std::nullopt, 39,
     kAny},
    {"xp_2", "m", "x of observation point 2 on the body (body frame)", XP(1), std::nullopt, 40,
     kAny},
    {"zp_2", "m", "z of observation point 2 on the body (body frame)", ZP(1), std::nullopt, 41,
     kAny},
    {"xp_3", "m", "x of observation point 3 on the body (body frame)", XP(2), std::nullopt, 42,
     kAny},
    {"zp_3", "m", "z of observation point 3 on the body (body frame)", ZP(2), std::nullopt, 43,
     kAny},
    {"g", "m/s^2", "gravitational acceleration", PAR(g), double{9.81f}, 0, kPos},
    {"N_e", "kW", "power constant of the engine characteristic (0: no drive torque)", PAR(N_e),
     10.0, 0, kNonNeg},
    {"a_e", "1", "linear coefficient of the engine characteristic", PAR(a_e), double{0.53f}, 0,
     kAny},
    {"b_e", "1", "quadratic coefficient of the engine characteristic", PAR(b_e), double{1.56f}, 0,
     kAny},
    {"c_e", "1", "cubic coefficient of the engine characteristic", PAR(c_e), double{1.09f}, 0,
     kAny},
    {"n_N", "rpm", "rated engine speed", PAR(n_N), 1750.0, 0, kPos},
    {"i_tr", "1", "transmission ratio (engine speed per wheel-shaft speed)", PAR(i_tr),
     double{21.88f}, 0, kPos},
    {"eta_tr", "1", "transmission efficiency", PAR(eta_tr), double{0.8f}, 0, Range::fraction},
    {"n_min", "rpm", "engine speed below which the torque is linear in the speed", PAR(n_min),
     800.0, 0, kPos},
    {"x_0", "m", "horizontal position of the traction axle point at the start", START(x_0), 0.0, 0,
     kAny},
    {"v_0", "m/s", "speed at the start (positive: towards the forks), the wheels rolling without "
                   "slip", START(v_0), 0.0, 0, kAny},
    {"x_load", "m", "the load's place along the forks at the start (X_C4: its centre of mass "
                    "ahead of the carriage origin, the load centre)", START(x_load),
     double{0.6f}, 0, kAny},
    {"slope", "%", "gradient of the ground: positive when it falls toward the forks (a table "
                   "tilted forward)", START(slope), 0.0, 0, kAny},
    {"l_fork", "m", "length of the forks ahead of the carriage origin: the load's place X_C4 "
                    "stays within 0..l_fork while the model is valid", PAR(l_fork), 1.2, 0, kPos},
};

const Record kRecords[] = {
    {1, kNone, 0, {}, {}, "heading line 1"},
    {2, kNone, 0, {}, {}, "heading line 2"},
    {3, kF9_4, 1, {"m_1"}, {"mast mass m_1"}, "mast mass m_1"},
    {4, kF9_4, 1, {"m_2"}, {"carriage mass m_2"}, "carriage mass m_2"},
    {5, kF9_4, 1, {"m_3"}, {"body mass m_3"}, "body mass m_3"},
    {6, kF9_4, 1, {"m_4"}, {"load mass m_4"}, "load mass m_4"},
    {7, kF10_5, 2, {"xc_1", "zc_1"}, {"mast centre of mass x xc_1", "mast centre of mass z zc_1"},
     "mast centre of mass xc_1, zc_1"},
    {8, kF10_5, 2, {"xc_2", "zc_2"},
     {"carriage centre of mass x xc_2", "carriage centre of mass z zc_2"},
     "carriage centre of mass xc_2, zc_2"},
    {9, kF10_5, 2, {"xc_3", "zc_3"}, {"body centre of mass x xc_3", "body centre of mass z zc_3"},
     "body centre of mass xc_3, zc_3"},
    {10, kF10_5, 2, {"xc_4", "zc_4"}, {"load centre of mass x xc_4", "load centre of mass z zc_4"},
     "load centre of mass xc_4, zc_4"},
    {11, kF9_4, 1, {"J_1"}, {"mast moment of inertia J_1"}, "mast moment of inertia J_1"},
    {12, kF9_4, 1, {"J_2"}, {"carriage moment of inertia J_2"}, "carriage moment of inertia J_2"},
    {13, kF9_4, 1, {"J_3"}, {"body moment of inertia J_3"}, "body moment of inertia J_3"},
    {14, kF9_4, 1, {"J_4"}, {"load moment of inertia J_4"}, "load moment of inertia J_4"},
    {15, kE12_5, 1, {"J_tk"}, {"wheel-shaft moment of inertia J_tk"},
     "wheel-shaft moment of inertia J_tk"},
    {16, kE12_5, 1, {"c_tt"}, {"traction tyre tangential stiffness c_tt"},
     "traction tyre tangential stiffness c_tt"},
    {17, kE12_5, 1, {"c_tr"}, {"traction tyre radial stiffness c_tr"},
     "traction tyre radial stiffness c_tr"},
    {18, kE12_5, 1, {"c_kr"}, {"steered tyre radial stiffness c_kr"},
     "steered tyre radial stiffness c_kr"},
    {19, kE12_5, 1, {"c_buf"}, {"rubber buffer stiffness c_buf"}, "rubber buffer stiffness c_buf"},
    {20, kF9_4, 1, {"R_t"}, {"traction wheel radius R_t"}, "traction wheel radius R_t"},
    {21, kF9_4, 1, {"R_k"}, {"steered wheel radius R_k"}, "steered wheel radius R_k"},
    {22, kF9_4, 1, {"f_t"}, {"traction wheel rolling friction f_t"},
     "traction wheel rolling friction f_t"},
    {23, kF9_4, 1, {"f_k"}, {"steered wheel rolling friction f_k"},
     "steered wheel rolling friction f_k"},
    {24, kF10_5, 2, {"xh_1", "zh_1"},
     {"tilt-cylinder point on the mast x xh_1", "tilt-cylinder point on the mast z zh_1"},
     "tilt-cylinder point on the mast xh_1, zh_1"},
    {25, kF10_5, 2, {"xh_3", "zh_3"},
     {"tilt-cylinder point on the body x xh_3", "tilt-cylinder point on the body z zh_3"},
     "tilt-cylinder point on the body xh_3, zh_3"},
    {26, kE12_5, 1, {"c_lift"}, {"lift cylinder and chains stiffness c_lift"},
     "lift cylinder and chains stiffness c_lift"},
    {27, kE12_5, 1, {"c_tilt"}, {"tilt cylinder stiffness c_tilt"},
     "tilt cylinder stiffness c_tilt"},
    {28, kF9_4, 1, {"x_O2"}, {"carriage system origin x_O2"}, "carriage system origin x_O2"},
    {29, kF9_4, 1, {"L_b"}, {"wheelbase L_b"}, "wheelbase L_b"},
    {30, kF9_4, 1, {"M_eng"}, {"engine torque M_eng"}, "engine torque M_eng"},
    {31, kF9_4, 1, {"f_fr"}, {"friction coefficient f_fr"}, "friction coefficient f_fr"},
    {32, kF9_4, 1, {"eps"}, {"accuracy eps"}, "accuracy eps"},
    {33, kF9_4, 1, {"t_start"}, {"start time prmt(1)"}, "start time prmt(1)"},
    {34, kF9_4, 1, {"t_end"}, {"end time prmt(2)"}, "end time prmt(2)"},
    {35, kF9_4, 1, {"h_max"}, {"largest step prmt(3)"}, "largest step prmt(3)"},
    {36, kF9_4, 1, {"tol"}, {"error bound prmt(4)"}, "error bound prmt(4)"},
    {37, kF9_4, 1, {"stop"}, {"stop flag prmt(5)"}, "stop flag prmt(5)"},
    {38, kF9_4, 1, {"xp_1"}, {"observation point 1 x xp(1)"}, "observation point 1 x xp(1)"},
    {39, kF9_4, 1, {"zp_1"}, {"observation point 1 z zp(1)"}, "observation point 1 z zp(1)"},
    {40, kF9_4, 1, {"xp_2"}, {"observation point 2 x xp(2)"}, "observation point 2 x xp(2)"},
    {41, kF9_4, 1, {"zp_2"}, {"observation point 2 z zp(2)"}, "observation point 2 z zp(2)"},
    {42, kF9_4, 1, {"xp_3"}, {"observation point 3 x xp(3)"}, "observation point 3 x xp(3)"},
    {43, kF9_4, 1, {"zp_3"}, {"observation point 3 z zp(3)"}, "observation point 3 z zp(3)"},
};

// The report's parameter echo, block by block, with the format texts as the report has them.
const EchoBlock kEchoBlocks[] = {
    {6,
     "('МАСА ВАНТАЖОПІДЙОМНИКА ',F9.4,/,'МАСА КАРЕТКИ ',F9.4,/,'МАСА КОРПУСА ',F9.4,/,"
     "'МАСА ВАНТАЖУ ',F9.4,/)",
     {"m_1", "m_2", "m_3", "m_4"}, 4},
    {10,
     "(10X,'КООРДИНАТИ ПОЛОЖЕННЯ ЦЕНТРІВ МАС',/,'ВАНТАЖОПІДЙОМНИКА ',2(F9.4),/,"
     "'КАРЕТКИ ',2(F9.4),/,'КОРПУСА ',2(F9.4),/,'ВАНТАЖУ ',2(F9.4),/)",
     {"xc_1", "zc_1", "xc_2", "zc_2", "xc_3", "zc_3", "xc_4", "zc_4"}, 8},
    {15,
     "(15X,'ОСЬОВІ МОМЕНТИ ІНЕРЦІЇ ',/,'ВАНТАЖОПІДЙОМНИКА ',F9.4,/,'КАРЕТКИ ',F9.4,/,"
     "'КОРПУСА ',F9.4,/,'ВАНТАЖУ ',F9.4,/,'ВАЛУ ТЯГОВОГО КОЛЕСА',E12.5,/)",
     {"J_1", "J_2", "J_3", "J_4", "J_tk"}, 5},
    {19,
     "('ЖОРСТКІСТЬ ТЯГОВИХ КОЛІС В ТАНГЕНЦІАЛЬНОМУ НАПРЯМКУ ',E12.5,/,"
     "'ЖОРСТКІСТЬ ТЯГОВИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ ',E12.5,/,"
     "'ЖОРСТКІСТЬ КЕРОВАНИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ ',E12.5,/,"
     "'ЖОРСТКІСТЬ ГУМОВОГО БУФЕРА ',E12.5,/)",
     {"c_tt", "c_tr", "c_kr", "c_buf"}, 4},
    {21, "('РАДІУС ТЯГОВОГО КОЛЕСА ',F9.4,/,'РАДІУС КЕРОВАНОГО КОЛЕСА ',F9.4,/)",
     {"R_t", "R_k"}, 2},
    {23,
     "('КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ ТЯГОВИХ КОЛІС ',F9.4,/,"
     "'КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ КЕРОВАНИХ КОЛІС ',F9.4,/)",
     {"f_t", "f_k"}, 2},
    {25,
     "('КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО              ВАНТАЖОПІДЙОМНИКА ',"
     "2(F9.4),/,'КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА ',2(F9.4),/)",
     {"xh_1", "zh_1", "xh_3", "zh_3"}, 4},
    {27,
     "('ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА І ЛАНЦЮГІВ ',E12.5,/,"
     "'ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА МІЖ В-ОМ І КОРПУСОМ ',E12.5,/)",
     {"c_lift", "c_tilt"}, 2},
    {32,
     "('КООРДИНАТА ПОЧАТКУ СИСТЕМИ КООРДИНАТ X2O2Z2 ',F9.4,/,'БАЗОВА ВІДСТАНЬ МІЖ ОСЯМИ ',F9.4,/,"
     "'МОМЕНТ ВІД ДВИГУНА ',F9.4,/,'КОЕФІЦІЄНТ ТЕРТЯ ',F9.4,/,'ТОЧНІСТЬ ',F9.4,/)",
     {"x_O2", "L_b", "M_eng", "f_fr", "eps"}, 5},
    {37,
     "('ПОЧАТКОВИЙ МОМЕНТ ЧАСУ ',F9.4,/,'КІНЦЕВИЙ МОМЕНТ ЧАСУ ',F9.4,/,"
     "'МАКСИМАЛЬНИЙ КРОК ІНТЕГРУВАННЯ ',F9.4,/,'ТОЧНІСТЬ ІНТЕГРУВАННЯ ',F9.4,/,"
     "'prmt(5)= ',F9.4,/)",
     {"t_start", "t_end", "h_max", "tol", "stop"}, 5},
};
// clang-format on

#undef PAR
#undef CTL
#undef XP
#undef ZP
#undef START

}  // namespace

std::span<const Param> all_params() {
  return kParams;
}

const Param* find_param(std::string_view name) {
  for (const Param& p : kParams) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

std::span<const Record> records() {
  return kRecords;
}

std::span<const EchoBlock> echo_blocks() {
  return kEchoBlocks;
}

CaseValues built_in_case() {
  CaseValues v;
  for (const Param& p : kParams) {
    if (p.built_in) p.ref(v) = *p.built_in;
  }
  return v;
}

bool in_range(const Param& p, double value, std::string_view& allowed) {
  switch (p.range) {
    case Range::any:
      allowed = "any finite number";
      return std::isfinite(value);
    case Range::positive:
      allowed = "a finite number > 0";
      return std::isfinite(value) && value > 0.0;
    case Range::non_negative:
      allowed = "a finite number >= 0";
      return std::isfinite(value) && value >= 0.0;
    case Range::fraction:
      allowed = "a number > 0 and <= 1";
      return std::isfinite(value) && value > 0.0 && value <= 1.0;
  }
  return false;
}

std::string source_text(const Param& p, bool set) {
  if (set) return "set";
  if (p.record == 0) return "built-in";
  if (p.built_in) return "built-in (dani.dat record " + std::to_string(p.record) + " ignored)";
  return "dani.dat record " + std::to_string(p.record);
}

}  // namespace liftsim::params
