// Speed of the statics scan and of whole example runs: with the plain run's files, and without
// any file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "example.h"
#include "run/simulation.h"
#include "run/statics.h"
#include "textio/files.h"

namespace {

namespace fs = std::filesystem;
using namespace liftsim;

void BM_StaticsScan(benchmark::State& state) {
  const model::Model m = bench::example_model();
  for (auto _ : state) {
    model::StateVector y{};
    y[model::ix::Z_013] = double{0.401f};
    y[model::ix::X_C4] = double{0.6f};
    const run::StaticsResult result = run::find_equilibrium(m.par, m.road, y);
    benchmark::DoNotOptimize(result);
  }
  state.counters["trials/s"] = benchmark::Counter(72000.0 * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StaticsScan)->Unit(benchmark::kMillisecond);

void count_calls(benchmark::State& state, const run::RunResult& r) {
  if (r.error) state.SkipWithError(r.error->message.c_str());
  state.counters["derivative calls"] = static_cast<double>(r.stats.derivative_calls);
  state.counters["ns/derivative call"] = benchmark::Counter(
      static_cast<double>(r.stats.derivative_calls) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The plain run of the example: dani.dat, the report and the 22 time histories in a temporary
// folder, the progress lines sent to /dev/null.
void BM_WholeRun(benchmark::State& state) {
  std::string dir_template = (fs::temp_directory_path() / "liftsim-bench-XXXXXX").string();
  if (::mkdtemp(dir_template.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  const fs::path dir = dir_template;
  std::ofstream(dir / "dani.dat", std::ios::binary) << bench::example_text();
  const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  run::RunResult r;
  for (auto _ : state) {
    textio::Console console(null);
    run::RunPlan setup;
    setup.dir_fd = dir_fd;
    setup.console = &console;
    r = run::simulate(setup);
  }
  ::close(null);
  ::close(dir_fd);
  fs::remove_all(dir);
  count_calls(state, r);
}
BENCHMARK(BM_WholeRun)->Unit(benchmark::kMillisecond);

// The same run with no file at all: the input from memory, no report, no time histories, no
// console. What remains is the integration and the logged quantities of every 500th point.
void BM_WholeRunNoFiles(benchmark::State& state) {
  run::RunResult r;
  for (auto _ : state) {
    run::RunPlan setup;
    setup.legacy_files = false;
    setup.input_text = bench::example_text();
    r = run::simulate(setup);
  }
  count_calls(state, r);
}
BENCHMARK(BM_WholeRunNoFiles)->Unit(benchmark::kMillisecond);

}  // namespace
