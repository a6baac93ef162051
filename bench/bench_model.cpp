// Speed of one derivative evaluation of the truck model and of the solve on its mass matrix.
#include <benchmark/benchmark.h>

#include "example.h"
#include "model/assemble.h"
#include "model/fct.h"
#include "numeric/simq.h"

namespace {

using namespace liftsim::model;

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
  const Model m = liftsim::bench::example_model();
  Published pub;
  const OutputHistory hist = example_history();
  const StateVector y = kState;
  StateVector dery{};
  for (auto _ : state) {
    Fct(0.41, y.data(), dery.data(), m, pub, hist);
    benchmark::DoNotOptimize(dery);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Fct);

// The solve alone, on the truck's own mass matrix and forces (the copy of the inputs included).
void BM_SimqMassMatrix(benchmark::State& state) {
  const Model m = liftsim::bench::example_model();
  Published pub;
  Assembly a;
  fct_assemble(0.41, kState.data(), m, pub, example_history(), a);
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
