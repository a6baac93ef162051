// Every parameter a user can name, written out independently of the program's table: its unit,
// the value a default run fixes (single-precision literals widened to double, as the truck's data
// sheet gives them), and where dani.dat holds it.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace liftsim::testing {

struct ReferenceParam {
  std::string_view name;
  std::string_view unit;
  std::optional<double> built_in;  // none: the value comes from dani.dat
  int record = 0;                  // 0: no record holds it
  int field = 0;                   // 0 or 1 within a record of two fields
};

// clang-format off
inline const std::vector<ReferenceParam>& reference_params() {
  static const std::vector<ReferenceParam> params{
      {"m_1", "kg", 210.0, 3, 0},
      {"m_2", "kg", 90.0, 4, 0},
      {"m_3", "kg", 1880.0, 5, 0},
      {"m_4", "kg", std::nullopt, 6, 0},
      {"xc_1", "m", 0.07000000029802322, 7, 0},
      {"zc_1", "m", 0.824999988079071, 7, 1},
      {"xc_2", "m", 0.029999999329447746, 8, 0},
      {"zc_2", "m", 0.824999988079071, 8, 1},
      {"xc_3", "m", -0.9990000128746033, 9, 0},
      {"zc_3", "m", 0.48500001430511475, 9, 1},
      {"xc_4", "m", std::nullopt, 10, 0},
      {"zc_4", "m", std::nullopt, 10, 1},
      {"J_1", "kg*m^2", 70.0, 11, 0},
      {"J_2", "kg*m^2", 25.0, 12, 0},
      {"J_3", "kg*m^2", 300.0, 13, 0},
      {"J_4", "kg*m^2", 80.0, 14, 0},
      {"J_tk", "kg*m^2", 1767.0, 15, 0},
      {"c_tt", "N*m/rad", 200000.0, 16, 0},
      {"c_tr", "N/m", 552000.0, 17, 0},
      {"c_kr", "N/m", 378000.0, 18, 0},
      {"c_buf", "N/m", 503000.0, 19, 0},
      {"R_t", "m", 0.4009999930858612, 20, 0},
      {"R_k", "m", 0.4009999930858612, 21, 0},
      {"f_t", "m", 0.012000000104308128, 22, 0},
      {"f_k", "m", 0.012000000104308128, 23, 0},
      {"xh_1", "m", 0.25, 24, 0},
      {"zh_1", "m", 0.4560000002384186, 24, 1},
      {"xh_3", "m", -0.2529999911785126, 25, 0},
      {"zh_3", "m", 0.3799999952316284, 25, 1},
      {"c_lift", "N/m", 120000.0, 26, 0},
      {"c_tilt", "N/m", 12000000.0, 27, 0},
      {"x_O2", "m", 0.2800000011920929, 28, 0},
      {"L_b", "m", 0.8999999761581421, 29, 0},
      {"M_eng", "N*m", 0.0, 30, 0},
      {"f_fr", "1", 0.15000000596046448, 31, 0},
      {"eps", "1", 0.0010000000474974513, 32, 0},
      {"t_start", "s", 0.0, 33, 0},
      {"t_end", "s", 10.0, 34, 0},
      {"h_max", "s", 0.0010000000474974513, 35, 0},
      {"tol", "1", 0.004000000189989805, 36, 0},
      {"xp_1", "m", std::nullopt, 38, 0},
      {"zp_1", "m", std::nullopt, 39, 0},
      {"xp_2", "m", std::nullopt, 40, 0},
      {"zp_2", "m", std::nullopt, 41, 0},
      {"xp_3", "m", std::nullopt, 42, 0},
      {"zp_3", "m", std::nullopt, 43, 0},
      {"g", "m/s^2", 9.8100004196167, 0, 0},
      {"N_e", "kW", 10.0, 0, 0},
      {"a_e", "1", 0.5299999713897705, 0, 0},
      {"b_e", "1", 1.559999942779541, 0, 0},
      {"c_e", "1", 1.090000033378601, 0, 0},
      {"n_N", "rpm", 1750.0, 0, 0},
      {"i_tr", "1", 21.8799991607666, 0, 0},
      {"eta_tr", "1", 0.800000011920929, 0, 0},
      {"n_min", "rpm", 800.0, 0, 0},
  };
  return params;
}
// clang-format on

}  // namespace liftsim::testing
