// Speed of one derivative evaluation of the truck model and of the solve on its mass matrix.
#include <benchmark/benchmark.h>

#include "model/assemble.h"
#include "model/fct.h"
#include "numeric/simq.h"

namespace {

using namespace liftsim::model;

// The example's parameters.
Par example_par() {
  Par p;
  p.m_1 = 210.0, p.m_2 = 90.0, p.m_3 = 1880.0, p.m_4 = 1000.0;
  p.xc_1 = double{0.07f}, p.xc_2 = double{0.03f}, p.xc_3 = double{-0.999f};
  p.zc_1 = double{0.825f}, p.zc_2 = double{0.825f}, p.zc_3 = double{0.485f}, p.zc_4 = 0.5;
  p.x_O2 = double{0.28f};
  p.J_1 = 70.0, p.J_2 = 25.0, p.J_3 = 300.0, p.J_4 = 80.0, p.J_tk = 1767.0;
  p.c_tt = 200000.0, p.c_tr = 552000.0, p.c_kr = 378000.0, p.c_buf = 503000.0;
  p.f_t = double{0.012f}, p.f_k = double{0.012f}, p.R_t = double{0.401f}, p.R_k = double{0.401f};
  p.L_b = double{0.9f};
  p.xh_1 = 0.25, p.zh_1 = double{0.456f}, p.xh_3 = double{-0.253f}, p.zh_3 = double{0.38f};
  p.c_lift = 120000.0, p.c_tilt = 12000000.0, p.f_fr = double{0.15f};
  return p;
}

const StaticRefs kRefs{0.511, 0.0891};

OutputHistory example_history() {
  OutputHistory hist;
  hist.t_last = 0.4;
  hist.fi_roll = 0.3;
  hist.acc_fd = Rates{0.5, -0.1, 0.02, 0.01, 0.03, 0.0};
  return hist;
}

// The truck rolling off with its load, tilting and swaying a little.
const StateVector kState{0.6,  0.01,    0.02, -0.01, 0.005, 0.2, 0.364,
                         0.01, -0.0127, 0.0,  0.0,   1.6,   0.6, 0.31};

// One derivative of that state.
void BM_Fct(benchmark::State& state) {
  Par p = example_par();
  const StaticRefs refs = kRefs;
  const OutputHistory hist = example_history();
  const StateVector y = kState;
  StateVector dery{};
  for (auto _ : state) {
    Fct(0.41, y.data(), dery.data(), p, hist, refs);
    benchmark::DoNotOptimize(dery);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Fct);

// The solve alone, on the truck's own mass matrix and forces (the copy of the inputs included).
void BM_SimqMassMatrix(benchmark::State& state) {
  Par p = example_par();
  Assembly a;
  fct_assemble(0.41, kState.data(), p, example_history(), kRefs, a);
  for (auto _ : state) {
    auto A = a.A;
    auto B = a.B;
    int ks = 0;
    liftsim::numeric::Simq(A.data(), B.data(), kNq, ks);
    benchmark::DoNotOptimize(B.data());
    benchmark::DoNotOptimize(ks);
  }
}
BENCHMARK(BM_SimqMassMatrix);

}  // namespace
