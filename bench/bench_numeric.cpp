// Speed of the integrator on a 14-component linear system and of one 7×7 solve.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "numeric/simq.h"
#include "numeric/xemi.h"

namespace {

using liftsim::numeric::Simq;
using liftsim::numeric::Xemi;
using liftsim::numeric::XemiStats;

constexpr int kDim = 14;

// dy/dt = A·y: seven lightly damped oscillators with a weak dense coupling, stored row by row.
struct LinearSystem {
  std::array<double, kDim * kDim> a{};
  LinearSystem() {
    std::uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1664525u + 1013904223u;
      return static_cast<double>(seed >> 8) / 16777216.0 - 0.5;  // [-0.5, 0.5)
    };
    for (double& v : a) v = 0.02 * next();
    for (int k = 0; k < kDim / 2; ++k) {
      const double w = 1.0 + 0.5 * k;
      const int p = 2 * k, v = 2 * k + 1;
      a[p * kDim + v] += 1.0;
      a[v * kDim + p] += -w * w;
      a[v * kDim + v] += -0.1;
    }
  }
  void operator()(double /*t*/, const double* y, double* dery) const {
    for (int i = 0; i < kDim; ++i) {
      double s = 0.0;
      for (int k = 0; k < kDim; ++k) s = a[i * kDim + k] * y[k] + s;
      dery[i] = s;
    }
  }
};

// The run driver's controls: steps of 0.001 up to 10.0 give 10 000 steps when none fails.
void BM_Xemi10kSteps(benchmark::State& state) {
  const LinearSystem sys;
  std::array<double, kDim> y{}, dery{};
  std::array<double, liftsim::numeric::kAuxRows * kDim> aux{};
  std::int64_t steps = 0, calls = 0;
  for (auto _ : state) {
    std::array<double, 5> prmt = {0.0, 10.0, double{0.001f}, double{0.004f}, 0.0};
    for (int i = 0; i < kDim; ++i) {
      y[i] = (i % 2 == 0) ? 1.0 : 0.0;
      dery[i] = 1.0 / kDim;
    }
    int ihlf = 0;
    XemiStats stats;
    std::int64_t n_fct = 0;
    auto fct = [&](double t, const double* yy, double* dd) {
      ++n_fct;
      sys(t, yy, dd);
    };
    auto outp = [](double x, const double* yy, const double*, int, int, std::array<double, 5>&) {
      benchmark::DoNotOptimize(x);
      benchmark::DoNotOptimize(yy[0]);
    };
    Xemi(prmt, y.data(), dery.data(), kDim, ihlf, aux.data(), fct, outp, &stats);
    benchmark::DoNotOptimize(y.data());
    steps = stats.accepted;
    calls = n_fct;
  }
  using benchmark::Counter;
  state.counters["steps"] = static_cast<double>(steps);
  state.counters["fct_calls"] = static_cast<double>(calls);
  state.counters["time_per_step"] =
      Counter(static_cast<double>(steps), Counter::kIsIterationInvariantRate | Counter::kInvert);
  state.counters["time_per_fct"] =
      Counter(static_cast<double>(calls), Counter::kIsIterationInvariantRate | Counter::kInvert);
}
BENCHMARK(BM_Xemi10kSteps)->Unit(benchmark::kMillisecond);

// The derivative alone, to tell the integrator's own share from the model's.
void BM_LinearRhs(benchmark::State& state) {
  const LinearSystem sys;
  std::array<double, kDim> y{}, dery{};
  for (int i = 0; i < kDim; ++i) y[i] = 0.1 * i;
  double t = 0.0;
  for (auto _ : state) {
    sys(t, y.data(), dery.data());
    benchmark::DoNotOptimize(dery.data());
    benchmark::ClobberMemory();
    t += 1e-3;
  }
}
BENCHMARK(BM_LinearRhs);

// One 7×7 solve as the equations of motion make it (the copy of the inputs included).
void BM_Simq7(benchmark::State& state) {
  constexpr int n = 7;
  std::array<double, n * n> a0{};
  std::array<double, n> b0{};
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < n; ++k) a0[k * n + i] = 1.0 / (1.0 + i + k) + (i == k ? 2.0 : 0.0);
    b0[i] = 1.0 + i;
  }
  for (auto _ : state) {
    std::array<double, n* n> a = a0;
    std::array<double, n> b = b0;
    int ks = 0;
    Simq(a.data(), b.data(), n, ks);
    benchmark::DoNotOptimize(b.data());
    benchmark::DoNotOptimize(ks);
  }
}
BENCHMARK(BM_Simq7);

}  // namespace
