#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "numeric/xemi.h"

namespace liftsim::numeric {
namespace {

using Rhs = std::function<void(double, const double*, double*)>;

struct Point {
  double x;
  int ihlf;
  std::size_t calls;  // derivative calls made up to this output
  std::vector<double> y;
};

// Everything one integrator call did, as seen by its two callbacks.
struct Trace {
  std::vector<double> calls;  // time of every derivative call
  std::vector<Point> outputs;
  std::array<double, 5> prmt{};
  std::vector<double> y, dery;
  int ihlf = -1;
  XemiStats stats;
};

// Runs the integrator; the output call with index stop_at (0 = the start point) sets the stop
// flag. Every output must directly follow a derivative call on the same point.
Trace integrate(const Rhs& f, std::vector<double> y0, std::array<double, 5> prmt,
                std::vector<double> weights, int stop_at = -1) {
  Trace t;
  const int ndim = static_cast<int>(y0.size());
  t.y = y0;
  t.dery = weights;
  std::vector<double> aux(16 * y0.size(), -999.0);
  std::vector<double> last_y;
  auto fct = [&](double x, const double* y, double* dery) {
    t.calls.push_back(x);
    last_y.assign(y, y + ndim);
    f(x, y, dery);
  };
  auto outp = [&](double x, const double* y, const double* dery, int ihlf, int n,
                  std::array<double, 5>& pr) {
    EXPECT_EQ(n, ndim);
    EXPECT_EQ(x, t.calls.back()) << "output at another time than the last derivative call";
    std::vector<double> yv(y, y + n), d(n);
    EXPECT_EQ(yv, last_y);
    f(x, y, d.data());
    EXPECT_EQ(d, std::vector<double>(dery, dery + n));
    t.outputs.push_back({x, ihlf, t.calls.size(), yv});
    if (static_cast<int>(t.outputs.size()) - 1 == stop_at) pr[4] = 1.0;
  };
  Xemi(prmt, t.y.data(), t.dery.data(), ndim, t.ihlf, aux.data(), fct, outp, &t.stats);
  t.prmt = prmt;
  return t;
}

const Rhs decay = [](double, const double* y, double* d) { d[0] = -y[0]; };
const Rhs oscillator = [](double, const double* y, double* d) {
  d[0] = y[1];
  d[1] = -y[0];
};
const Rhs quartic = [](double t, const double*, double* d) { d[0] = t * t * t * t; };
const Rhs constant = [](double, const double*, double* d) { d[0] = 0.0; };
// A fast and a slow decaying mode.
const Rhs stiff = [](double, const double* y, double* d) {
  d[0] = -60.0 * y[0];
  d[1] = -y[1];
};
// Forcing whose frequency rises and falls again: the step must shrink and then grow.
const Rhs chirp = [](double t, const double*, double* d) {
  d[0] = std::cos(0.2 * t * t * (6.0 - t));
};

// Derivative-call times of the start, from the start point up to the first refined output:
// Runge–Kutta stages at x + 0.4h, x + 0.4557372h and x + h; one step of 2h compared with two of h
// after each halving; then the third start point and the refined first point.
std::vector<double> start_calls(double x0, double h0, int halvings) {
  std::vector<double> c = {x0};
  double x = x0, h = h0;
  auto rk = [&] {
    c.push_back(h * double{0.4f} + x);
    c.push_back(h * double{0.4557372f} + x);
    c.push_back(h + x);
  };
  rk();
  x = x + h;
  for (int j = 0; j < halvings; ++j) {
    x = x - h;
    h = h * 0.5;
    rk();
    x = x + h;
    c.push_back(x);
    rk();
  }
  x = x + h;
  c.push_back(x);
  rk();
  c.push_back(x + h);
  c.push_back(x0 + h);
  return c;
}

// Checks the Hamming phase between every two outputs against the call pattern: two derivative
// calls for an accepted step, three for each halving (the failed step and the two interpolated
// back points at xa − h and xa − 3h), none for a doubling; the output spacing is the step
// prmt(3)·2^−ihlf; a doubling only with ihlf > 0, at least seven stored points and an even
// number, at least four, of outputs with the current step.
void check_hamming_phase(const Trace& t) {
  ASSERT_GE(t.outputs.size(), 5u);
  const double h0 = t.prmt[2];
  int same_step = 3;  // the three refined start points were made with the current step
  int accepted = 0;
  for (std::size_t k = 4; k < t.outputs.size(); ++k) {
    const Point& prev = t.outputs[k - 1];
    const Point& cur = t.outputs[k];
    SCOPED_TRACE("output " + std::to_string(k) + " at " + std::to_string(cur.x));
    const double xa = prev.x;
    double h = std::ldexp(h0, -prev.ihlf);
    int before = prev.ihlf;
    if (t.calls[prev.calls] == xa + 2.0 * h) {  // doubled after the previous output
      EXPECT_GT(prev.ihlf, 0);
      EXPECT_GE(accepted, 3);
      EXPECT_TRUE(same_step >= 4 && same_step % 2 == 0) << same_step << " steps";
      h = h + h;
      before -= 1;
      same_step = 0;
    }
    const int halvings = (cur.ihlf == 11 ? 10 : cur.ihlf) - before;
    ASSERT_GE(halvings, 0);
    std::vector<double> expect;
    double x = xa + h;
    for (int j = 0; j < halvings; ++j) {
      expect.push_back(x);
      h = h * 0.5;
      x = x - h;
      expect.push_back(x - (h + h));
      expect.push_back(x - (h + h) - (h + h));
      same_step = 0;
    }
    expect.push_back(x);
    expect.push_back(x);
    const std::vector<double> got(t.calls.begin() + prev.calls, t.calls.begin() + cur.calls);
    ASSERT_EQ(got, expect);
    EXPECT_EQ(cur.x, x);
    ++same_step;
    ++accepted;
  }
}

TEST(Xemi, StartPhaseOutputsFourPointsEvenPastTheEnd) {
  Trace t = integrate(decay, {1.0}, {1.0, 1.01, 0.125, 1e-3, 3.0}, {1.0});
  ASSERT_EQ(t.outputs.size(), 5u);
  const double expect_x[] = {1.0, 1.0625, 1.125, 1.1875, 1.25};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(t.outputs[k].x, expect_x[k]);
    EXPECT_EQ(t.outputs[k].ihlf, k == 0 ? 0 : 1);
  }
  EXPECT_EQ(t.outputs[1].calls, start_calls(1.0, 0.125, 1).size());
  EXPECT_EQ(t.ihlf, 1);
  EXPECT_EQ(t.prmt[4], 0.0);  // cleared at entry
}

struct Scenario {
  std::string name;
  Rhs f;
  std::vector<double> y0;
  std::array<double, 5> prmt;
  std::vector<double> weights;
  std::vector<double> (*exact)(double);  // null: no accuracy check
  std::vector<double> tol;               // per component
  bool varies_step = false;  // the step must be halved after the start and doubled again
};

void PrintTo(const Scenario& s, std::ostream* os) {
  *os << s.name;
}

// Integral of the chirp forcing from 0 to x by Simpson's rule on a fine grid.
std::vector<double> chirp_integral(double x) {
  const int n = 2 * static_cast<int>(std::ceil(x * 200.0)) + 2;
  const double h = x / n;
  std::vector<double> d(1);
  double sum = 0.0;
  for (int i = 0; i <= n; ++i) {
    chirp(i * h, nullptr, d.data());
    sum += d[0] * (i == 0 || i == n ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0));
  }
  return {sum * h / 3.0};
}

class XemiScenarios : public ::testing::TestWithParam<Scenario> {};

// Whole runs: start call pattern, Hamming call pattern, end test and accuracy.
TEST_P(XemiScenarios, FollowsTheCallPatternAndEndsAtTheEnd) {
  const Scenario& s = GetParam();
  Trace t = integrate(s.f, s.y0, s.prmt, s.weights);
  ASSERT_LE(t.ihlf, 10);
  const std::vector<double> start = start_calls(s.prmt[0], s.prmt[2], t.outputs[1].ihlf);
  EXPECT_EQ(std::vector<double>(t.calls.begin(), t.calls.begin() + start.size()), start);
  check_hamming_phase(t);
  EXPECT_EQ(t.stats.halvings - t.stats.doublings, t.ihlf);

  // End test: only the last output is at or past the end, or less than 0.1·|h| before it.
  const double end = s.prmt[1];
  const double h = std::ldexp(s.prmt[2], -t.ihlf);
  auto ends = [&](double x) {
    return (x - end) * h >= 0.0 || std::fabs(x - end) - std::fabs(h) * double{0.1f} < 0.0;
  };
  for (std::size_t k = 4; k + 1 < t.outputs.size(); ++k) EXPECT_FALSE(ends(t.outputs[k].x));
  const double last = t.outputs.back().x;
  EXPECT_TRUE(ends(last));
  EXPECT_LT((last - end) / h, 1.0);

  if (s.exact) {
    for (const Point& p : t.outputs) {
      const std::vector<double> e = s.exact(p.x);
      for (std::size_t i = 0; i < e.size(); ++i) EXPECT_NEAR(p.y[i], e[i], s.tol[i]) << "x " << p.x;
    }
  }
  EXPECT_EQ(t.y, t.outputs.back().y);
  if (s.varies_step) {
    EXPECT_GT(t.stats.halvings, t.outputs[1].ihlf);  // more than the start made
    EXPECT_GT(t.stats.doublings, 0);
  }
}

using V = std::vector<double>;
V decay_exact(double x) {
  return {std::exp(-x)};
}
V oscillator_exact(double x) {
  return {std::cos(x), -std::sin(x)};
}
V stiff_exact(double x) {
  return {std::exp(-60.0 * x), std::exp(-x)};
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Runs, XemiScenarios, ::testing::Values(
    Scenario{"Decay", decay, {1.0}, {0.0, 5.0, 0.1, 1e-7, 0.0}, {1.0}, decay_exact, {2e-7}},
    Scenario{"DecayBackwards", decay, {1.0}, {0.0, -2.0, -0.05, 1e-6, 0.0}, {1.0}, decay_exact,
             {1e-5}},
    Scenario{"Oscillator", oscillator, {1.0, 0.0}, {0.0, 12.0, 0.2, 1e-8, 0.0}, {0.5, 0.5},
             oscillator_exact, {1e-6, 1e-6}},
    Scenario{"Stiff", stiff, {1.0, 1.0}, {0.0, 3.0, 0.5, 1e-4, 0.0}, {0.5, 0.5}, stiff_exact,
             {5e-4, 1e-6}, true},
    Scenario{"Chirp", chirp, {0.0}, {0.0, 6.0, 0.25, 1e-6, 0.0}, {1.0}, chirp_integral, {5e-5},
             true},
    // Step back at prmt(3) with nothing to control: end on the grid, within 0.1·h before the
    // end, and a little past the end.
    Scenario{"LandsOnEnd", decay, {1.0}, {0.0, 1.0, 0.125, 1e-6, 0.0}, {0.0}, nullptr, {}},
    Scenario{"StopsJustBeforeEnd", decay, {1.0}, {0.0, 1.00625, 0.125, 1e-6, 0.0}, {0.0}, nullptr,
             {}},
    Scenario{"StopsPastEnd", decay, {1.0}, {0.0, 1.025, 0.125, 1e-6, 0.0}, {0.0}, nullptr, {}}),
    [](const ::testing::TestParamInfo<Scenario>& i) { return i.param.name; });
// clang-format on

TEST(Xemi, ZeroWeightsDoubleBackToTheInitialStepAndNoFurther) {
  Trace t = integrate(decay, {1.0}, {0.0, 2.0, 0.125, 1e-6, 0.0}, {0.0});
  // Six points at h/2 (three start, three Hamming until seven points are stored), then h.
  std::vector<double> expect;
  for (int k = 0; k <= 6; ++k) expect.push_back(k * 0.0625);
  for (double x = 0.5; x <= 2.0; x += 0.125) expect.push_back(x);
  std::vector<double> got;
  for (const Point& p : t.outputs) got.push_back(p.x);
  EXPECT_EQ(got, expect);
  EXPECT_EQ(t.ihlf, 0);
  EXPECT_EQ(t.stats.doublings, 1);
  EXPECT_EQ(t.calls.size(), start_calls(0.0, 0.125, 1).size() + 2 + 2 * (expect.size() - 4));
}

struct CodeCase {
  std::string name;
  std::array<double, 5> prmt;
  int ihlf;
};

void PrintTo(const CodeCase& c, std::ostream* os) {
  *os << c.name;
}

class XemiCodes : public ::testing::TestWithParam<CodeCase> {};

// Codes 12 and 13: the start point alone is evaluated and output, with the code.
TEST_P(XemiCodes, OutputsTheStartPointOnly) {
  const CodeCase& c = GetParam();
  Trace t = integrate(oscillator, {1.0, 2.0}, c.prmt, {0.5, 0.5});
  EXPECT_EQ(t.ihlf, c.ihlf);
  ASSERT_EQ(t.outputs.size(), 1u);
  EXPECT_EQ(t.outputs[0].x, c.prmt[0]);
  EXPECT_EQ(t.outputs[0].ihlf, c.ihlf);
  EXPECT_EQ(t.calls, std::vector<double>{c.prmt[0]});
  EXPECT_EQ(t.y, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(t.dery, (std::vector<double>{2.0, -1.0}));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, XemiCodes,
    ::testing::Values(CodeCase{"ZeroStep", {0.5, 2.0, 0.0, 1e-4, 0.0}, 12},
                      CodeCase{"EmptyInterval", {0.5, 0.5, 0.1, 1e-4, 0.0}, 12},
                      CodeCase{"NegativeStepForward", {0.5, 2.0, -0.1, 1e-4, 0.0}, 13},
                      CodeCase{"PositiveStepBackward", {0.5, -2.0, 0.1, 1e-4, 0.0}, 13}),
    [](const ::testing::TestParamInfo<CodeCase>& i) { return i.param.name; });

TEST(Xemi, ZeroErrorBoundFailsInTheStartAfterTenHalvings) {
  Trace t = integrate(quartic, {0.0}, {0.0, 1.0, 0.5, 0.0, 0.0}, {1.0});
  EXPECT_EQ(t.ihlf, 11);
  ASSERT_EQ(t.outputs.size(), 2u);
  EXPECT_EQ(t.outputs[1].ihlf, 11);
  EXPECT_EQ(t.outputs[1].x, 2 * 0.5 / 1024);  // the two-step value
  EXPECT_EQ(t.calls.size(), 1u + 3 + 7 * 10 + 1);
}

TEST(Xemi, ZeroErrorBoundFailsInTheHammingPhase) {
  // A constant solution passes the start exactly, but no Hamming step has e < 0.
  Trace t = integrate(constant, {3.0}, {0.0, 1.0, 0.5, 0.0, 0.0}, {1.0});
  EXPECT_EQ(t.ihlf, 11);
  ASSERT_EQ(t.outputs.size(), 5u);
  EXPECT_EQ(t.outputs[4].ihlf, 11);
  EXPECT_EQ(t.outputs[4].x, 3 * 0.25 + 0.5 / 1024);
  EXPECT_EQ(t.stats.accepted, 0);
  check_hamming_phase(t);
}

// Pinned from a run that a separate step-by-step transcription of the method reproduced bit for
// bit, with halvings and doublings on the way: a change in the order of any operation or in the
// value of any constant shows here.
TEST(Xemi, ReproducesThePinnedArithmetic) {
  Trace t = integrate(stiff, {1.0, 1.0}, {0.0, 3.0, 0.5, 1e-4, 0.0}, {0.5, 0.5});
  EXPECT_EQ(t.ihlf, 5);
  EXPECT_EQ(t.outputs.back().x, 0x1.81p+1);
  EXPECT_EQ(t.calls.size(), 856u);
  EXPECT_EQ(t.y, (std::vector<double>{-0x1.7f8b9c511cb16p-19, 0x1.94ae8a0a48d24p-5}));
  EXPECT_EQ(t.dery, (std::vector<double>{0x1.6792e28c0ae65p-13, -0x1.94ae8a0a48d24p-5}));
}

// The stop flag set by an output call ends the integration right after that call, in the start
// point, the refined start points and the Hamming phase.
class XemiStop : public ::testing::TestWithParam<int> {};

TEST_P(XemiStop, ReturnsRightAfterTheStoppingOutput) {
  const int stop_at = GetParam();
  Trace t = integrate(oscillator, {1.0, 0.0}, {0.0, 5.0, 0.1, 1e-6, 0.0}, {0.5, 0.5}, stop_at);
  ASSERT_EQ(static_cast<int>(t.outputs.size()), stop_at + 1);
  EXPECT_EQ(t.calls.size(), t.outputs.back().calls);
  EXPECT_EQ(t.prmt[4], 1.0);
  EXPECT_EQ(t.ihlf, t.outputs.back().ihlf);
  EXPECT_EQ(t.y, t.outputs.back().y);
}

INSTANTIATE_TEST_SUITE_P(Phases, XemiStop, ::testing::Values(0, 1, 3, 4, 20));

}  // namespace
}  // namespace liftsim::numeric
