// Every parameter a user can name, written out independently of the program's table, in the order
// of dani.dat: its unit, whether dani.dat supplies it, and the built-ins that are not whole numbers
// (single-precision literals widened to double, as the truck's data sheet gives them).
#pragma once

#include <map>
#include <set>
#include <string_view>
#include <utility>

namespace liftsim::testing {

struct NameUnit {
  std::string_view name, unit;
};

// clang-format off
inline constexpr NameUnit kNamesAndUnits[] = {
    {"m_1", "kg"}, {"m_2", "kg"}, {"m_3", "kg"}, {"m_4", "kg"}, {"xc_1", "m"}, {"zc_1", "m"},
    {"xc_2", "m"}, {"zc_2", "m"}, {"xc_3", "m"}, {"zc_3", "m"}, {"xc_4", "m"}, {"zc_4", "m"},
    {"J_1", "kg*m^2"}, {"J_2", "kg*m^2"}, {"J_3", "kg*m^2"}, {"J_4", "kg*m^2"}, {"J_tk", "kg*m^2"},
    {"c_tt", "N*m/rad"}, {"c_tr", "N/m"}, {"c_kr", "N/m"}, {"c_buf", "N/m"}, {"R_t", "m"},
    {"R_k", "m"}, {"f_t", "m"}, {"f_k", "m"}, {"xh_1", "m"}, {"zh_1", "m"}, {"xh_3", "m"},
    {"zh_3", "m"}, {"c_lift", "N/m"}, {"c_tilt", "N/m"}, {"x_O2", "m"}, {"L_b", "m"},
    {"M_eng", "N*m"}, {"f_fr", "1"}, {"eps", "1"}, {"t_start", "s"}, {"t_end", "s"},
    {"h_max", "s"}, {"tol", "1"}, {"xp_1", "m"}, {"zp_1", "m"}, {"xp_2", "m"}, {"zp_2", "m"},
    {"xp_3", "m"}, {"zp_3", "m"}, {"g", "m/s^2"}, {"N_e", "kW"}, {"a_e", "1"}, {"b_e", "1"},
    {"c_e", "1"}, {"n_N", "rpm"}, {"i_tr", "1"}, {"eta_tr", "1"}, {"n_min", "rpm"}};

// The values dani.dat supplies, and the example's values for them.
inline const std::map<std::string_view, double> kFromInput{
    {"m_4", 1000.0}, {"xc_4", 0.6}, {"zc_4", 0.5},  {"xp_1", -0.8}, {"zp_1", 1.1},
    {"xp_2", -1.6},  {"zp_2", 0.5}, {"xp_3", -0.4}, {"zp_3", 2.0}};

inline const std::map<std::string_view, double> kFractionalBuiltIns{
    {"xc_1", 0.07f}, {"zc_1", 0.825f}, {"xc_2", 0.03f}, {"zc_2", 0.825f}, {"xc_3", -0.999f},
    {"zc_3", 0.485f}, {"R_t", 0.401f}, {"R_k", 0.401f}, {"f_t", 0.012f}, {"f_k", 0.012f},
    {"xh_1", 0.25f}, {"zh_1", 0.456f}, {"xh_3", -0.253f}, {"zh_3", 0.38f}, {"x_O2", 0.28f},
    {"L_b", 0.9f}, {"f_fr", 0.15f}, {"eps", 0.001f}, {"h_max", 0.001f}, {"tol", 0.004f},
    {"g", 9.81f}, {"a_e", 0.53f}, {"b_e", 1.56f}, {"c_e", 1.09f}, {"i_tr", 21.88f},
    {"eta_tr", 0.8f}};
// clang-format on

// Records of dani.dat that hold two fields; record 37 holds the integrator's stop flag.
inline const std::set<int> kPairRecords{7, 8, 9, 10, 24, 25};

// Record and field (0 or 1) of each name dani.dat holds, in file order from record 3; the names
// past zp_3 have no record.
inline std::map<std::string_view, std::pair<int, int>> input_places() {
  std::map<std::string_view, std::pair<int, int>> places;
  int record = 3, field = 0;
  for (const NameUnit& p : kNamesAndUnits) {
    if (p.name == "g") break;
    places[p.name] = {record, field};
    if (kPairRecords.count(record) && field == 0) {
      field = 1;
    } else {
      field = 0;
      record += record == 36 ? 2 : 1;
    }
  }
  return places;
}

}  // namespace liftsim::testing
