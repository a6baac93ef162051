#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

#include "output/history_files.h"
#include "output/outp.h"
#include "textio/format.h"
#include "textio/fpe.h"
#include "textio/units.h"

// Counts heap allocations, to check that the step loop makes none. The replacements pair
// malloc with free, which the compiler cannot see through new and delete.
static long g_allocations = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

namespace liftsim::output {
namespace {

namespace ix = model::ix;
namespace fs = std::filesystem;
constexpr double kPi = double{3.141592f};

model::Par truck(double m_4) {
  return model::Par{.m_1 = 210.0,
                    .m_2 = 90.0,
                    .m_3 = 1880.0,
                    .m_4 = m_4,
                    .c_tt = 200000.0,
                    .c_tr = 552000.0,
                    .R_t = double{0.401f},
                    .c_kr = 378000.0,
                    .c_buf = 503000.0,
                    .R_k = double{0.401f},
                    .L_b = double{0.9f},
                    .xh_1 = 0.25,
                    .zh_1 = double{0.456f},
                    .xh_3 = double{-0.253f},
                    .zh_3 = double{0.38f},
                    .c_lift = 120000.0,
                    .c_tilt = 12000000.0,
                    .M_eng = 290.5};
}
const model::StaticRefs kRefs{.lh_free = 0.5112, .z02_0 = 0.0891};
const model::ObservationPoints kObs{.xp = {1.0, -2.0, 0.3}, .zp = {0.5, 1.0, -0.7}};

// The loaded truck standing near its static equilibrium.
model::StateVector standing(double Z_013 = 0.3636, double Fi_3 = -0.0127) {
  model::StateVector y{};
  y[ix::Z_013] = Z_013;
  y[ix::Fi_3] = Fi_3;
  y[ix::X_C4] = double{0.6f};
  return y;
}

Logged logged(const model::StateVector& y, const model::StaticRefs& refs = kRefs,
              double m_4 = 1000.0) {
  return compute_logged(0.0, y.data(), truck(m_4), refs, kObs, model::OutputHistory{});
}

TEST(Logged, ForcesOfElementsThatCannotPushOrPullAreZeroNotNegative) {
  const struct {
    const char* name;
    double Z_013, Fi_3, Z_02, lh_free;
    bool traction, steered, chains, tilt_stretched;
  } cases[] = {
      {"standing", 0.3636, -0.0127, 0.0, 0.5112, true, true, true, true},
      {"wheels lifted", 0.5, -0.0127, 0.0, 0.5112, false, false, true, true},
      // pitching the body forward also brings its cylinder point towards the mast
      {"steered wheel lifted", 0.3636, 0.2, 0.0, 0.5112, true, false, true, false},
      {"carriage above its rest", 0.3636, -0.0127, 0.2, 0.5112, true, true, false, true},
      {"tilt cylinder compressed", 0.3636, -0.0127, 0.0, 0.6, true, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    model::StateVector y = standing(c.Z_013, c.Fi_3);
    y[ix::Z_02] = c.Z_02;
    const Logged lg = logged(y, {.lh_free = c.lh_free, .z02_0 = kRefs.z02_0});
    for (auto [force, loaded] : {std::pair{lg.F_tp, c.traction}, std::pair{lg.F_kp, c.steered},
                                 std::pair{lg.F_12, c.chains}}) {
      EXPECT_TRUE(loaded ? force > 0.0 : force == 0.0 && !std::signbit(force)) << force;
    }
    EXPECT_TRUE(c.tilt_stretched ? lg.F_13 > 0.0 : lg.F_13 < 0.0) << lg.F_13;  // pushes too
  }
}

TEST(Logged, DegreesUseTheSinglePrecisionPi) {
  for (auto [radians, degrees] :
       {std::pair{kPi, 180.0}, std::pair{-kPi / 2.0, -90.0}, std::pair{4.0 * kPi, 720.0}}) {
    model::StateVector y = standing();
    y[ix::Fi_1] = y[ix::Fi_3] = y[ix::Fi_tk] = radians;
    const Logged lg = logged(y);
    EXPECT_EQ(lg.Fi_1deg, degrees);
    EXPECT_EQ(lg.Fi_3deg, degrees);
    EXPECT_EQ(lg.Fi_tkdeg, degrees);
  }
}

TEST(Logged, AnalyticWheelLoad) {
  for (double VX_013 : {0.0, 2.0, -1.5}) {
    model::StateVector y = standing();
    y[ix::VX_013] = VX_013;
    const Logged lg = logged(y);
    EXPECT_EQ(lg.m_tru, 2180);
    EXPECT_GT(lg.om_2, lg.om_1);
    EXPECT_GT(lg.om_1, 0);
    EXPECT_TRUE(std::isfinite(lg.F_an)) << VX_013;
  }
  EXPECT_EQ(logged(standing(), kRefs, 999.9).m_lod, 999);  // whole kilograms
  // Without a load the two-mass chain degenerates: the run stops at its first record.
  EXPECT_EXIT(
      {
        textio::install_fp_traps();
        logged(standing(), kRefs, 0.0);
      },
      ::testing::ExitedWithCode(1), "M6103");
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
      {3000.0, -1.7, 0x1.191ca7f14b5f6p+13, 0x1.fe997a55999d6p+11, 0x1.abfe1e64042d8p+19,
       -0x1.f0db141e963b0p+23, 0x1.33bdc7adaa998p+2, 0x1.0080f64a035d1p+2},
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.m_4);
    ++i;
    model::StateVector y{};
    y[ix::VX_013] = c.VX_013;
    y[ix::VFi_3] = 0.31 * i;
    y[ix::X_013] = 1.3 * i;
    y[ix::Z_013] = 0.3636 + 0.01 * i;
    y[ix::Fi_1] = 0.05 * i;
    y[ix::Fi_3] = -0.0127 * i;
    y[ix::Z_02] = 0.02 * i - 0.03;
    y[ix::Fi_tk] = 12.7 * i;
    model::OutputHistory hist;
    hist.acc_fd.ax_013 = 0.37;
    hist.acc_fd.az_013 = -1.1;
    hist.acc_fd.afi_3 = 2.9;
    const Logged lg = compute_logged(0.0, y.data(), truck(c.m_4), kRefs, kObs, hist);
    EXPECT_EQ(lg.F_kp, c.F_kp);
    EXPECT_EQ(lg.F_tp, c.F_tp);
    EXPECT_EQ(lg.F_13, c.F_13);
    EXPECT_EQ(lg.F_an, c.F_an);
    EXPECT_EQ(lg.ax_p[1], c.ax_p2);
    EXPECT_EQ(lg.az_p[1], c.az_p2);
  }
}

TEST(Outp, HistoryBetweenOutputPoints) {
  const model::Par par = truck(1000.0);
  model::OutputHistory hist;
  hist.n_out = 1;  // not a writing call
  hist.y_prev = standing(0.3636, 0.0);
  model::StateVector y = hist.y_prev;
  y[ix::VFi_3] = 0.25;
  y[ix::VX_013] = 0.5;

  // At the start the rates are zero: only the centripetal part remains.
  Logged lg = compute_logged(0.0, y.data(), par, kRefs, kObs, hist);
  EXPECT_EQ(lg.ax_p[1], -(0.25 * 0.25) * kObs.xp[1]);
  EXPECT_EQ(lg.az_p[1], -(0.25 * 0.25) * kObs.zp[1]);

  const long allocations = g_allocations;
  Outp(0.5, y.data(), model::kNdim, par, kRefs, kObs, hist);
  EXPECT_EQ(g_allocations, allocations);
  EXPECT_EQ(hist.acc_fd.afi_3, 0.5);
  EXPECT_EQ(hist.acc_fd.ax_013, 1.0);
  EXPECT_EQ(hist.t_last, 0.5);
  EXPECT_EQ(hist.fi_roll, (0.5 / 0.3636) * 0.5);
  // Point 1 at (1, 0.5) of a body spinning up: centripetal and tangential parts.
  lg = compute_logged(0.5, y.data(), par, kRefs, kObs, hist);
  EXPECT_DOUBLE_EQ(lg.ax_p[0], 1.0 - 0.0625 * 1.0 + 0.5 * 0.5);
  EXPECT_DOUBLE_EQ(lg.az_p[0], -0.0625 * 0.5 - 0.5 * 1.0);

  // The same time again: rates, their time base and the rolling angle stay.
  const model::Rates rates = hist.acc_fd;
  y[ix::VFi_3] = 7.0;
  Outp(0.5, y.data(), model::kNdim, par, kRefs, kObs, hist);
  EXPECT_EQ(hist.acc_fd.afi_3, rates.afi_3);
  EXPECT_EQ(hist.acc_fd.ax_013, rates.ax_013);
  EXPECT_EQ(hist.t_last, 0.5);
  EXPECT_EQ(hist.fi_roll, (0.5 / 0.3636) * 0.5);
  EXPECT_EQ(hist.y_prev, y);
  EXPECT_EQ(hist.ypop[ix::VFi_3], 7.0);
  EXPECT_EQ(hist.ypop[model::kNdim], 0.5);
  EXPECT_EQ(hist.n_out, 3);
}

TEST(Outp, EveryFiveHundredthCallWritesOneRecordPerFile) {
  const fs::path home = fs::current_path();
  const fs::path dir = fs::temp_directory_path() / ("outp-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::current_path(dir);
  for (const HistoryFile& f : kHistoryFiles) textio::open_unit(f.unit, f.name);

  const model::Par par = truck(1000.0);
  model::OutputHistory hist;
  model::StateVector y = standing();
  y[ix::VX_013] = 0.125;
  y[ix::Fi_1] = kPi;
  const Logged first = compute_logged(0.0, y.data(), par, kRefs, kObs, hist);
  ::testing::internal::CaptureStdout();
  for (auto [n, x] : {std::pair{0, 0.0}, std::pair{499, 0.5}, std::pair{500, 1.0}}) {
    hist.n_out = n;
    Outp(x, y.data(), model::kNdim, par, kRefs, kObs, hist);
  }
  const std::string console = ::testing::internal::GetCapturedStdout();
  for (const HistoryFile& f : kHistoryFiles) textio::close_unit(f.unit);
  fs::current_path(home);

  std::string progress;
  textio::append_list_directed(progress, 0, 0.0);
  progress += "\r\n";
  textio::append_list_directed(progress, 500, 1.0);
  EXPECT_EQ(console, progress + "\r\n");

  auto e = [](double v) { return textio::e_field(v, 12, 5); };
  auto record = [&](std::string_view name) {
    std::ifstream in(dir / name, std::ios::binary);
    std::string all{std::istreambuf_iterator<char>(in), {}};
    const bool three = name == "F_tp.rez" || name.find("XZ2P") != std::string_view::npos;
    EXPECT_EQ(all.size(), 2u * (three ? 44u : 30u)) << name;  // two records
    return all.substr(0, three ? 44 : 30);
  };
  for (const HistoryFile& f : kHistoryFiles) record(f.name);
  EXPECT_EQ(record("vx_013.rez"), "  " + e(0.0) + "  " + e(0.125) + "\r\n");
  EXPECT_EQ(record("fi1.rez"), "  " + e(0.0) + "  " + e(180.0) + "\r\n");
  EXPECT_EQ(record("Engine.rez"), "  " + e(0.0) + "  " + e(290.5) + "\r\n");
  EXPECT_EQ(record("F_tp.rez"),
            "  " + e(0.0) + "  " + e(first.F_tp) + "  " + e(first.F_an / 10.0) + "\r\n");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace liftsim::output
