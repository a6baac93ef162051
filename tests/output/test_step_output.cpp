// Step output: the logged quantities, the history kept between output points, the time-history
// files' rhythm.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "output/history_files.h"
#include "output/logged.h"
#include "output/step_output.h"
#include "support/e2e.h"
#include "support/example_state.h"
#include "textio/files.h"
#include "textio/format.h"

namespace liftsim::output {
namespace {

namespace ix = model::ix;
const model::StaticRefs kRefs{.lh_free = 0.5112, .z02_0 = 0.0891};
const model::ObservationPoints kObs{.xp = {1.0, -2.0, 0.3}, .zp = {0.5, 1.0, -0.7}};

// The example truck with its built-in parameters and the given load, on a flat road.
model::Model truck(double m_4 = 1000.0, model::StaticRefs refs = kRefs) {
  model::Model m = testing::example_state().model;
  m.par.m_4 = m_4;
  m.refs = refs;
  return m;
}

// The loaded truck near its static equilibrium: Z_01.3, Fi_3 and X_C4 set, all else zero.
model::StateVector standing(double Z_013 = 0.3636, double Fi_3 = -0.0127) {
  return {0, 0, 0, 0, 0, 0, Z_013, 0, Fi_3, 0, 0, 0, double{0.6f}, 0};
}

// Tyres and chains cannot pull: unloaded, they log exactly +0.0, while the tilt cylinder pushes.
// Degrees divide by the single-precision pi first, so that pi itself is exactly 180 degrees.
TEST(Logged, OneSidedForcesAndDegrees) {
  model::StateVector y = standing();
  Logged lg = compute_logged(0.0, y.data(), truck(), kObs, {});
  for (double force : {lg.F_tp, lg.F_kp, lg.F_12, lg.F_13}) EXPECT_GT(force, 0.0);
  // Both wheels lifted, the carriage above its rest and the tilt cylinder compressed.
  y = standing(0.5);
  y[ix::Z_02] = 0.2;
  lg = compute_logged(0.0, y.data(), truck(1000.0, {.lh_free = 0.6, .z02_0 = kRefs.z02_0}), kObs,
                      {});
  for (double f : {lg.F_tp, lg.F_kp, lg.F_12}) EXPECT_TRUE(f == 0.0 && !std::signbit(f)) << f;
  EXPECT_LT(lg.F_13, 0.0);
  std::tie(y[ix::Fi_1], y[ix::Fi_3], y[ix::Fi_tk]) = std::tuple(double{3.141592f}, 1.0, 2.0);
  lg = compute_logged(0.0, y.data(), truck(), kObs, {});  // divided by pi first
  EXPECT_EQ(std::tuple(lg.Fi_1deg, lg.Fi_3deg, lg.Fi_tkdeg),
            std::tuple(180.0, 57.29579096338471, 114.59158192676942));
}

// Bit patterns from a separate, literal evaluation of the logged formulas with their integer
// parts (whole-kilogram masses, truncated frequencies, integer squares, sums and divisor).
TEST(Logged, ReproducedToTheLastBit) {
  const struct {
    double m_4, VX_013;
    double F_kp, F_tp, F_13, F_an, ax_p2, az_p2;
  } cases[] = {
      {1000.0, 0.0, 0x1.05e09372799fdp+13, 0x1.d8a65e956666ap+13, 0x1.0fd75774b00a0p+18,
       0x1.5af0a055c839ap+17, 0x1.b1db9049e7fc5p+1, 0x1.292228b3ccc30p+2},
      {437.75, 2.3, 0x1.0f81cc6d5cd38p+13, 0x1.2c265e9566667p+13, 0x1.1b811f00342bep+19,
       0x1.39f6dab690873p+21, 0x1.f335a97540062p+1, 0x1.1a0cca32ebeecp+2},
  };
  model::OutputHistory hist;
  hist.acc_fd = {.ax_013 = 0.37, .az_013 = -1.1, .afi_3 = 2.9};
  for (int i = 1; const auto& c : cases) {
    // VX_01.3, VFi_3, X_01.3, Z_01.3, Fi_1, Fi_3, Z_02 and Fi_tk set, the others zero
    // clang-format off
    const model::StateVector y{c.VX_013, 0, 0, 0.31 * i, 0, 1.3 * i, 0.3636 + 0.01 * i, 0.05 * i,
                               -0.0127 * i, 0.02 * i - 0.03, 0, 0, 0, 12.7 * i};
    // clang-format on
    const Logged lg = compute_logged(0.0, y.data(), truck(c.m_4), kObs, hist);
    EXPECT_EQ(std::tuple(lg.F_kp, lg.F_tp, lg.F_13, lg.F_an, lg.ax_p[1], lg.az_p[1]),
              std::tuple(c.F_kp, c.F_tp, c.F_13, c.F_an, c.ax_p2, c.az_p2))
        << c.m_4;
    ++i;
  }
}

// An observer that keeps what it was shown.
struct Seen : PointObserver {
  std::vector<std::tuple<double, std::int32_t, int>> points;  // time, count, ihlf
  void on_point(const OutputPoint& p) override { points.emplace_back(p.x, p.n_out, p.ihlf); }
};

// The history is updated before the observers see a point: calls 0 and 500 write a record, the
// calls between do not; the first call writes with the rates still zero; a call repeated at the
// same time keeps the rates.
TEST(StepOutput, HistoryAndWritingRhythm) {
  testing::TempDir dir;
  const model::Model m = truck();
  model::OutputHistory hist;
  model::Published pub;
  Seen seen;
  {
    textio::FileSet files(AT_FDCWD);
    for (const HistoryFile& f : kHistoryFiles) files.open(f.unit, (dir / f.name).string());
    HistoryFiles history(&files, nullptr);
    const std::array<PointObserver*, 2> observers{&history, &seen};
    StepOutput step_output(m, kObs, pub, hist, observers);
    model::StateVector y = standing(0.3636, 0.0), dery{};
    std::tie(y[ix::VFi_3], y[ix::VX_013]) = std::tuple(0.25, 0.5);
    hist.y_prev = y;
    const Logged first = compute_logged(0.0, y.data(), m, kObs, hist);
    pub.M_eng = 123.0;
    step_output(0.0, y.data(), dery.data(), 0, model::kNdim);
    std::tie(y[ix::VFi_3], y[ix::VX_013]) = std::tuple(0.5, 1.0);
    step_output(0.5, y.data(), dery.data(), 1, model::kNdim);
    const model::Rates& r = hist.acc_fd;
    auto rates = [&] { return std::tuple(r.afi_3, r.ax_013, hist.t_last, hist.fi_roll); };
    const auto after_move = std::tuple(0.5, 1.0, 0.5, (1.0 / 0.3636) * 0.5);
    EXPECT_EQ(rates(), after_move);
    y[ix::VFi_3] = 7.0;
    step_output(0.5, y.data(), dery.data(), 2, model::kNdim);
    EXPECT_EQ(rates(), after_move);
    EXPECT_EQ(hist.y_prev, y);
    EXPECT_EQ(hist.ypop[model::kNdim], 0.5);
    hist.n_out = 499;
    step_output(1.0, y.data(), dery.data(), 3, model::kNdim);
    step_output(1.5, y.data(), dery.data(), 4, model::kNdim);
    EXPECT_EQ(hist.n_out, 501);

    auto e = [](double v) { return "  " + textio::e_field(v, 12, 5); };
    const std::string xz = testing::read_file(dir / "1XZ2P.rez");
    ASSERT_EQ(xz.size(), 2u * 44u);
    // Zero rates at the first call: only the centripetal part -VFi_3^2 * (x, z) of point 1 remains.
    EXPECT_EQ(xz.substr(0, 44), e(0.0) + e(-0.0625) + e(-0.03125) + "\r\n");
    EXPECT_EQ(xz.substr(44, 14), e(1.5));
    EXPECT_EQ(testing::read_file(dir / "F_tp.rez").substr(0, 44),
              e(0.0) + e(first.F_tp) + e(first.F_an / 10.0) + "\r\n");
    EXPECT_EQ(testing::read_file(dir / "Engine.rez").substr(0, 30), e(0.0) + e(123.0) + "\r\n");
  }
  const std::vector<std::tuple<double, std::int32_t, int>> points{
      {0.0, 0, 0}, {0.5, 1, 1}, {0.5, 2, 2}, {1.0, 499, 3}, {1.5, 500, 4}};
  EXPECT_EQ(seen.points, points);
}

}  // namespace
}  // namespace liftsim::output
