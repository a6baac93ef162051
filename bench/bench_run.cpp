// Speed of the statics scan and of a whole example run (files in a temporary folder).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "driver/input.h"
#include "driver/run.h"
#include "driver/statics.h"

namespace {

namespace fs = std::filesystem;
using liftsim::driver::RunState;

std::string example_path() {
  return std::string(LIFTSIM_SOURCE_DIR) + "/examples/dani.dat";
}

// The example's parameters, read from memory.
RunState example_state() {
  std::ifstream file(example_path());
  std::ostringstream text;
  text << file.rdbuf();
  std::istringstream input(text.str());
  const liftsim::driver::RecordSource source = [&](std::string& record, std::size_t keep, int&) {
    if (!std::getline(input, record)) return liftsim::textio::ReadStatus::end_of_file;
    if (record.size() > keep) record.resize(keep);
    return liftsim::textio::ReadStatus::ok;
  };
  RunState run;
  run.pi = double{3.141592f};
  run.par.g = double{9.81f};
  liftsim::driver::read_records(run, source, false);
  return run;
}

void BM_StaticsScan(benchmark::State& state) {
  const RunState initial = example_state();
  for (auto _ : state) {
    RunState run = initial;
    const auto result = liftsim::driver::compute_statics(run.par, run.y, run.refs, run.pi);
    benchmark::DoNotOptimize(result);
  }
  state.counters["trials/s"] = benchmark::Counter(72000.0 * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StaticsScan)->Unit(benchmark::kMillisecond);

// The whole example run, files and all, with the console lines sent to /dev/null.
void BM_WholeRun(benchmark::State& state) {
  std::string dir_template = (fs::temp_directory_path() / "liftsim-bench-XXXXXX").string();
  if (::mkdtemp(dir_template.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  const fs::path dir = dir_template;
  fs::copy_file(example_path(), dir / "dani.dat");
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  const int saved_stdout = ::dup(1);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  liftsim::driver::RunStats stats;
  for (auto _ : state) stats = liftsim::driver::run_simulation();
  ::dup2(saved_stdout, 1);
  ::close(null);
  ::close(saved_stdout);
  fs::current_path(cwd);
  fs::remove_all(dir);
  state.counters["derivative calls"] = static_cast<double>(stats.derivative_calls);
  state.counters["ns/derivative call"] = benchmark::Counter(
      static_cast<double>(stats.derivative_calls) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WholeRun)->Unit(benchmark::kMillisecond);

}  // namespace
