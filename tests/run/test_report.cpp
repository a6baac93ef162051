// The report's blocks after the input echo: initial state, statics and leg ends.
#include <fcntl.h>
#include <gtest/gtest.h>

#include "run/report.h"
#include "support/e2e.h"
#include "textio/files.h"

namespace liftsim::run {
namespace {

// Includes fields too wide for their F9.4 and I2 forms, a negative zero and a value rounding up.
TEST(Report, InitialStateStaticsAndLegEndBlocks) {
  testing::TempDir dir;
  {
    textio::FileSet files(AT_FDCWD);
    files.open(kReportUnit, (dir / "result.rez").string());
    Report report(files, kReportUnit);
    // VX_01.3, Z_01.3, Fi_3, VFi_tk (too wide for its field) and X_C4 set, the others zero
    report.initial_state({1.5, 0, 0, 0, 0, 0, 0.3640, 0, -0.0127, 0, 0, -12345.0, 0.6, 0});
    // clang-format off
    report.statics({.F_kp_0 = -0.0, .F_tp_0 = 20700.0, .lh_0 = 0.514, .dl_t1 = 0.00183,
                    .dl_t3 = 0.00375, .dl_tilt = 0.00279, .SF13 = 33500.0, .SF12 = 10700.0}, 0.511);
    report.leg_end(0, 9.99995);
    report.leg_end(123, -0.5);
  }
  EXPECT_EQ(testing::read_file(dir / "result.rez"), testing::cp1251(testing::crlf_lines({
      "          ЗНАЧЕННЯ УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ : ",
      "X_01.3 :     .0000", "Z_01.3 :     .3640", "Fi_1   :     .0000", "Fi_3   :    -.0127",
      "Z_02   :     .0000", "X_C4   :     .6000", "Fi_tk  :     .0000",
      "          ПОХІДНІ ВІД УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ:",
      "VX_01.3 :    1.5000", "VZ_01.3 :     .0000", "VFi_1   :     .0000", "VFi_3   :     .0000",
      "VZ_02   :     .0000", "VX_C4   :     .0000", "VFi_tk  : *********", "",
      "  .51400E+00", "  .18300E-02", "  .37500E-02", "  .27900E-02", "  .51100E+00", "", "", "",
      "               Статичні силові співвідношення:", "",
      "         -SF13=  .33500E+05     -SF12=  .10700E+05",
      "         -F_tp_0=  .20700E+05     -F_kp_0=  .00000E+00",
      "               ihlf= 0", "               ypop(15)=  .10000E+02",
      "               ihlf=**", "               ypop(15)= -.50000E+00"})));
  // clang-format on
}

}  // namespace
}  // namespace liftsim::run
