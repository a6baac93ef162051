#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>
#include <tuple>
#include <vector>

#include "numeric/xemi.h"

namespace liftsim::numeric {
namespace {

using V = std::vector<double>;
using Rhs = std::function<void(double, const double*, double*)>;
using Prmt = std::array<double, 5>;

struct Point {
  double x;
  int ihlf;
  std::size_t calls;  // derivative calls made up to this output
  V y;
};

// Everything one integrator call did, as its two callbacks saw it.
struct Trace {
  V y, dery, calls;  // calls: the time of every derivative call
  std::vector<Point> outputs;
  int ihlf = -1;
};

// Runs the integrator.
Trace integrate(const Rhs& f, V y0, Prmt prmt, V weights) {
  Trace t{y0, weights, {}, {}, -1};
  const int n = static_cast<int>(y0.size());
  V aux(16 * y0.size());
  auto fct = [&](double x, const double* y, double* d) { t.calls.push_back(x), f(x, y, d); };
  auto outp = [&](double x, const double* y, const double*, int ihlf, int, Prmt&) {
    EXPECT_EQ(x, t.calls.back()) << "output without the derivative of its point";
    t.outputs.push_back({x, ihlf, t.calls.size(), V(y, y + n)});
  };
  Xemi(prmt, t.y.data(), t.dery.data(), n, t.ihlf, aux.data(), fct, outp);
  return t;
}

const Rhs decay = [](double, const double* y, double* d) { d[0] = -y[0]; };
const Rhs oscillator = [](double, const double* y, double* d) { d[0] = y[1], d[1] = -y[0]; };
const Rhs stiff = [](double, const double* y, double* d) { d[0] = -60.0 * y[0], d[1] = -y[1]; };

// Whole runs. Start: three refined points one step apart after 10 + 7 calls per halving of
// prmt(3). Hamming phase: outputs prmt(3)·2^-ihlf apart, 2 calls per accepted step, 3 more per
// halving (the failed try and two interpolated back points), none for a doubling, and never a
// step above prmt(3). End: only the last output is at or past the end, or within 0.1·|h| before.
TEST(Xemi, RunsFollowTheStepControlAndEndAtTheEnd) {
  const auto exp_decay = [](double x) { return V{std::exp(-x)}; };
  const auto exact_osc = [](double x) { return V{std::cos(x), -std::sin(x)}; };
  // clang-format off
  using Run = std::tuple<const char*, Rhs, V, Prmt, V, std::function<V(double)>, double>;
  for (const auto& [name, f, y0, prmt, weights, exact, tol] : std::vector<Run>{
           {"decay", decay, {1}, {0, 5, 0.1, 1e-7, 0}, {1}, exp_decay, 2e-7},
           {"decay backwards", decay, {1}, {0, -2, -0.05, 1e-6, 0}, {1}, exp_decay, 1e-5},
           {"oscillator", oscillator, {1, 0}, {0, 12, 0.2, 1e-8, 0}, {0.5, 0.5}, exact_osc, 1e-6},
           {"stiff", stiff, {1, 1}, {0, 3, 0.5, 1e-4, 0}, {0.5, 0.5}, nullptr, 0},
           // Nothing to control: the step doubles back to prmt(3). The end falls on the grid,
           // 0.05·h after a point, 0.2·h after one; then inside the start, which outputs its
           // points anyway (and clears a stop flag left set on entry).
           {"lands on end", decay, {1}, {0, 1, 0.125, 1e-6, 0}, {0}, nullptr, 0},
           {"just before end", decay, {1}, {0, 1.00625, 0.125, 1e-6, 0}, {0}, nullptr, 0},
           {"past end", decay, {1}, {0, 1.025, 0.125, 1e-6, 0}, {0}, nullptr, 0},
           {"inside the start", decay, {1}, {1, 1.01, 0.125, 1e-3, 3}, {1}, nullptr, 0}}) {
    // clang-format on
    SCOPED_TRACE(name);
    const Trace t = integrate(f, y0, prmt, weights);
    ASSERT_TRUE(t.outputs.size() >= 5 && t.ihlf <= 10);
    double x = prmt[0], h0 = prmt[2], end = prmt[1];
    for (int k = 1; k < 4; ++k) EXPECT_EQ(t.outputs[k].x, x += std::ldexp(h0, -t.outputs[1].ihlf));
    EXPECT_EQ(t.outputs[1].calls, 10u + 7 * t.outputs[1].ihlf);
    for (std::size_t k = 4; k < t.outputs.size(); ++k) {
      const Point &prev = t.outputs[k - 1], &cur = t.outputs[k];
      const double h = std::ldexp(h0, -cur.ihlf);
      EXPECT_TRUE(cur.ihlf >= 0 && cur.ihlf >= prev.ihlf - 1) << "output " << k;
      EXPECT_EQ(cur.calls - prev.calls, 2u + 3 * (cur.ihlf > prev.ihlf ? cur.ihlf - prev.ihlf : 0));
      EXPECT_NEAR(cur.x - prev.x, h, 1e-9 * std::fabs(h)) << "output " << k;
      const bool ends = (cur.x - end) * h >= 0.0 || std::fabs(cur.x - end) < 0.1 * std::fabs(h);
      EXPECT_EQ(ends, k + 1 == t.outputs.size()) << "output " << k;
    }
    for (const Point& p : t.outputs)
      for (std::size_t i = 0; exact && i < p.y.size(); ++i) EXPECT_NEAR(p.y[i], exact(p.x)[i], tol);
    EXPECT_TRUE(weights[0] != 0.0 || t.ihlf == 0) << "not back at prmt(3)";
  }
}

// The fast mode forces seven halvings in the start; doublings follow. State and derivative are
// pinned from a run that a separate step-by-step transcription of the method reproduced bit for
// bit; the sum of the call times guards every stage and back-point time.
TEST(Xemi, StiffRunReproducesThePinnedArithmetic) {
  const Trace t = integrate(stiff, {1.0, 1.0}, {0.0, 3.0, 0.5, 1e-4, 0.0}, {0.5, 0.5});
  const double times = std::accumulate(t.calls.begin(), t.calls.end(), 0.0);
  EXPECT_EQ(std::tuple(t.outputs[1].ihlf, t.ihlf, t.outputs.back().x, t.calls.size(), times),
            std::tuple(7, 5, 0x1.81p+1, 856u, 0x1.2717cfd49ap+10));
  EXPECT_EQ(t.y, (V{-0x1.7f8b9c511cb16p-19, 0x1.94ae8a0a48d24p-5}));
  EXPECT_EQ(t.dery, (V{0x1.6792e28c0ae65p-13, -0x1.94ae8a0a48d24p-5}));
}

}  // namespace
}  // namespace liftsim::numeric
