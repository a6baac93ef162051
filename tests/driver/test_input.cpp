// Reading "dani.dat": where each record's value lands, what the built-in values replace, and the
// state, weights and times set on the way.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/input.h"

namespace liftsim::driver {
namespace {

// Record r (1-based) holds r + 0.25, and r + 0.5 in the second field of a pair; 45 records, so
// reading past the 43rd would show.
std::vector<std::string> numbered_records() {
  std::vector<std::string> records{"heading", ""};
  for (int r = 3; r <= 45; ++r) {
    const bool pair = (r >= 7 && r <= 10) || r == 24 || r == 25;
    char line[64];
    if (pair) {
      std::snprintf(line, sizeof line, "%10.5f%10.5f", r + 0.25, r + 0.5);
    } else {
      std::snprintf(line, sizeof line, "%9.4f", r + 0.25);
    }
    records.push_back(line);
  }
  return records;
}

class InputRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<std::string> records = numbered_records();
    const RecordSource source = [&](std::string& record, std::size_t keep, int&) {
      if (taken_ >= records.size()) return textio::ReadStatus::end_of_file;
      record = records[taken_++].substr(0, keep);
      return textio::ReadStatus::ok;
    };
    read_records(run_, source, false);
  }
  RunState run_;
  std::size_t taken_ = 0;
};

TEST_F(InputRecords, ReadsFortyThreeRecordsAndKeepsOnlyTheLoadAndTheObservationPoints) {
  EXPECT_EQ(taken_, 43u);
  EXPECT_EQ(run_.par.m_4, 6.25);
  EXPECT_EQ(run_.par.xc_4, 10.25);
  EXPECT_EQ(run_.par.zc_4, 10.5);
  // The points come as x, z of the first, x, z of the second, x, z of the third.
  EXPECT_EQ(run_.obs.xp, (std::array<double, 3>{38.25, 40.25, 42.25}));
  EXPECT_EQ(run_.obs.zp, (std::array<double, 3>{39.25, 41.25, 43.25}));
}

TEST_F(InputRecords, BuiltInValuesAreTheWidenedSinglePrecisionConstants) {
  struct Fixed {
    const char* name;
    double model::Par::*field;
    double stored;
  };
  // Stored values written out in full, independently of how the reader spells its constants.
  const Fixed table[] = {
      {"m_1", &model::Par::m_1, 210.0},
      {"m_2", &model::Par::m_2, 90.0},
      {"m_3", &model::Par::m_3, 1880.0},
      {"xc_1", &model::Par::xc_1, 0.07000000029802322},
      {"zc_1", &model::Par::zc_1, 0.824999988079071},
      {"xc_2", &model::Par::xc_2, 0.029999999329447746},
      {"zc_2", &model::Par::zc_2, 0.824999988079071},
      {"xc_3", &model::Par::xc_3, -0.9990000128746033},
      {"zc_3", &model::Par::zc_3, 0.48500001430511475},
      {"J_1", &model::Par::J_1, 70.0},
      {"J_2", &model::Par::J_2, 25.0},
      {"J_3", &model::Par::J_3, 300.0},
      {"J_4", &model::Par::J_4, 80.0},
      {"J_tk", &model::Par::J_tk, 1767.0},
      {"c_tt", &model::Par::c_tt, 200000.0},
      {"c_tr", &model::Par::c_tr, 552000.0},
      {"c_kr", &model::Par::c_kr, 378000.0},
      {"c_buf", &model::Par::c_buf, 503000.0},
      {"R_t", &model::Par::R_t, 0.4009999930858612},
      {"R_k", &model::Par::R_k, 0.4009999930858612},
      {"f_t", &model::Par::f_t, 0.012000000104308128},
      {"f_k", &model::Par::f_k, 0.012000000104308128},
      {"xh_1", &model::Par::xh_1, 0.25},
      {"zh_1", &model::Par::zh_1, 0.4560000002384186},
      {"xh_3", &model::Par::xh_3, -0.2529999911785126},
      {"zh_3", &model::Par::zh_3, 0.3799999952316284},
      {"c_lift", &model::Par::c_lift, 120000.0},
      {"c_tilt", &model::Par::c_tilt, 12000000.0},
      {"x_O2", &model::Par::x_O2, 0.2800000011920929},
      {"L_b", &model::Par::L_b, 0.8999999761581421},
      {"M_eng", &model::Par::M_eng, 0.0},
      {"f_fr", &model::Par::f_fr, 0.15000000596046448},
      {"eps", &model::Par::eps, 0.0010000000474974513},
  };
  for (const Fixed& f : table) EXPECT_EQ(run_.par.*f.field, f.stored) << f.name;
  EXPECT_EQ(run_.prmt,
            (std::array<double, 5>{0.0, 10.0, 0.0010000000474974513, 0.004000000189989805, 0.0}));
}

TEST_F(InputRecords, SetsTheInitialStateTheErrorWeightsAndTheOutputTimes) {
  model::StateVector y{};
  y[model::ix::Z_013] = 0.4009999930858612;
  y[model::ix::X_C4] = 0.6000000238418579;
  EXPECT_EQ(run_.y, y);
  model::StateVector w;
  w.fill(0.0714285746216774);
  EXPECT_EQ(run_.w_err, w);
  // From the built-in start time, not from the 33.25 of the start-time record.
  EXPECT_EQ(run_.hist.t_prev, 0.0);
  EXPECT_EQ(run_.hist.t_last, 0.0);
}

}  // namespace
}  // namespace liftsim::driver
