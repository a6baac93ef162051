// The report's initial-state, statics and leg-end blocks, byte for byte, from given values.
#include <gtest/gtest.h>

#include <string>

#include "driver/report.h"
#include "support/e2e.h"
#include "textio/units.h"

namespace liftsim::driver {
namespace {

using testing::cp1251;
using testing::crlf_lines;
using testing::read_file;
using testing::TempDir;

class ReportBlocks : public ::testing::Test {
 protected:
  void SetUp() override { textio::open_unit(kReportUnit, (dir_ / "result.rez").string()); }
  void TearDown() override { textio::close_unit(kReportUnit); }
  std::string report() const { return read_file(dir_ / "result.rez"); }
  TempDir dir_;
};

TEST_F(ReportBlocks, InitialStateListsCoordinatesThenVelocities) {
  model::StateVector y{};
  y[model::ix::Z_013] = 0.3640;
  y[model::ix::Fi_3] = -0.0127;
  y[model::ix::X_C4] = 0.6;
  y[model::ix::VX_013] = 1.5;
  y[model::ix::VFi_tk] = -12345.0;  // too wide for its field
  write_initial_state(y);
  EXPECT_EQ(report(), cp1251(crlf_lines({
                          "          ЗНАЧЕННЯ УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ : ",
                          "X_01.3 :     .0000",
                          "Z_01.3 :     .3640",
                          "Fi_1   :     .0000",
                          "Fi_3   :    -.0127",
                          "Z_02   :     .0000",
                          "X_C4   :     .6000",
                          "Fi_tk  :     .0000",
                          "          ПОХІДНІ ВІД УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ:",
                          "VX_01.3 :    1.5000",
                          "VZ_01.3 :     .0000",
                          "VFi_1   :     .0000",
                          "VFi_3   :     .0000",
                          "VZ_02   :     .0000",
                          "VX_C4   :     .0000",
                          "VFi_tk  : *********",
                          "",
                      })));
}

TEST_F(ReportBlocks, StaticsAreFiveNumbersThenTheForceBlock) {
  StaticsResult s;
  s.lh_0 = 0.514;
  s.dl_t1 = 0.00183;
  s.dl_t3 = 0.00375;
  s.dl_tilt = 0.00279;
  s.SF13 = 33500.0;
  s.SF12 = 10700.0;
  s.F_tp_0 = 20700.0;
  s.F_kp_0 = -0.0;
  write_statics(s, 0.511);
  EXPECT_EQ(report(), cp1251(crlf_lines({
                          "  .51400E+00",
                          "  .18300E-02",
                          "  .37500E-02",
                          "  .27900E-02",
                          "  .51100E+00",
                          "",
                          "",
                          "",
                          "               Статичні силові співвідношення:",
                          "",
                          "         -SF13=  .33500E+05     -SF12=  .10700E+05",
                          "         -F_tp_0=  .20700E+05     -F_kp_0=  .00000E+00",
                      })));
}

TEST_F(ReportBlocks, LegEndIsTheCodeAndTheTimeReached) {
  write_leg_end(11, 3.25);
  write_leg_end(0, 9.99995);
  write_leg_end(123, -0.5);
  EXPECT_EQ(report(), crlf_lines({
                          "               ihlf=11",
                          "               ypop(15)=  .32500E+01",
                          "               ihlf= 0",
                          "               ypop(15)=  .10000E+02",
                          "               ihlf=**",
                          "               ypop(15)= -.50000E+00",
                      }));
}

}  // namespace
}  // namespace liftsim::driver
