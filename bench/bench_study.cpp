// What the study tools cost: a run with CSV, grid, summary and without any file, the sound model,
// scenarios, a road profile, a convergence check and a run ended once decided, each measured
// against the plain run in the same program; sweeps, capacity charts and tilt tests on one and two
// threads.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "params/road_profile.h"
#include "params/series.h"
#include "results/convergence.h"
#include "results/csv_writer.h"
#include "results/summary.h"
#include "run/simulation.h"
#include "sweep/axes.h"
#include "sweep/case_run.h"
#include "sweep/study.h"
#include "textio/buffered_file.h"

namespace {

namespace fs = std::filesystem;
using namespace liftsim;

std::string source_file(const fs::path& path) {
  std::ifstream in(fs::path(LIFTSIM_SOURCE_DIR) / path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

const std::string& example() {
  static const std::string text = source_file(fs::path("examples") / "dani.dat");
  return text;
}

// A scratch folder for the files of the runs, removed at exit.
struct Scratch {
  fs::path path;
  int fd = -1;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "liftsim-bench-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
  }
  ~Scratch() {
    ::close(fd);
    fs::remove_all(path);
  }
};
Scratch& scratch() {
  static Scratch s;
  return s;
}

enum Extra { kNone, kCsv, kGrid, kSummary };

// The example as a plain run writes it (report and time histories), with one study output more.
void BM_Run(benchmark::State& state) {
  const auto extra = static_cast<Extra>(state.range(0));
  const bool files = state.range(1) != 0;
  for (auto _ : state) {
    run::RunPlan setup;
    setup.input_text = example();
    setup.legacy_files = files;
    setup.dir_fd = scratch().fd;
    textio::BufferedFile csv_file;
    std::optional<results::CsvWriter> csv;
    results::SummaryObserver summary;
    if (extra == kCsv || extra == kGrid) {
      // A new file, as a run's results usually are: truncating the last iteration's file would
      // add the file system's work of freeing it.
      state.PauseTiming();
      fs::remove(scratch().path / "bench.csv");
      state.ResumeTiming();
      csv_file.open((scratch().path / "bench.csv").string());
      csv.emplace(&csv_file, extra == kGrid ? std::optional<double>(0.01) : std::nullopt);
      setup.observers.push_back(&*csv);
    }
    if (extra == kSummary) setup.observers.push_back(&summary);
    const run::RunResult r = run::simulate(setup);
    if (csv_file.is_open()) csv_file.close();
    if (r.error) state.SkipWithError(r.error->message.c_str());
    if (extra == kSummary) benchmark::DoNotOptimize(results::summarize(r, summary));
  }
}
BENCHMARK(BM_Run)
    ->ArgNames({"extra", "files"})
    ->Args({kNone, 1})
    ->Args({kCsv, 1})
    ->Args({kGrid, 1})
    ->Args({kSummary, 1})
    ->Args({kNone, 0})
    ->Unit(benchmark::kMillisecond);

// What one feature of the command line adds to the plain run of the example
// (BM_Run/extra:0/files:1), each run writing the plain run's files as the command line does:
//   sound       --model sound (the truck settled on its own equilibrium first)
//   scenario    --model sound --set v_0=2.5 --drive off --brake examples/scenarios/brake-3kNm.csv
//   road        --model sound --set v_0=1 --road examples/scenarios/threshold-5cm.csv
//   convergence --summary F --convergence: a second run at a tenth of tol and h_max, no files
//   tipping     the scenario with m_4=1200, zc_4=2.4, which tips at 1.38 s, run to the end
//   decided     the same with --stop-when-decided
// The legacy model leaves its valid range on the threshold and stalls, so the road runs sound.
enum class Feature { sound, scenario, road, convergence, tipping, decided };

void set_value(run::RunPlan& setup, const char* name, double value) {
  setup.overrides.set(*params::find_param(name), value);
}

// The run the command line makes for `feature`, or the message of a scenario file it could not
// read.
std::optional<std::string> feature_setup(Feature feature, run::RunPlan& setup) {
  setup.input_text = example();
  setup.dir_fd = scratch().fd;
  if (feature == Feature::convergence) return std::nullopt;
  setup.kind = model::Kind::sound;
  if (feature == Feature::road) {
    set_value(setup, "v_0", 1.0);
    const std::string text = source_file("examples/scenarios/threshold-5cm.csv");
    if (auto bad = params::parse_road(text, "threshold-5cm.csv", setup.road)) return bad->message;
  }
  if (feature == Feature::scenario || feature == Feature::tipping || feature == Feature::decided) {
    set_value(setup, "v_0", 2.5);
    setup.drive.torque = model::TimeSeries({{0.0, 0.0}});
    const std::string text = source_file("examples/scenarios/brake-3kNm.csv");
    if (auto bad = params::parse_series(text, "brake-3kNm.csv", true, setup.drive.brake)) {
      return bad->message;
    }
  }
  if (feature == Feature::tipping || feature == Feature::decided) {
    set_value(setup, "m_4", 1200.0);
    set_value(setup, "zc_4", 2.4);
  }
  return std::nullopt;
}

// The summary of `r` checked against a second run of the same case at a tenth of its error bound
// and largest step, as --convergence makes it. Returns the second run's derivative calls.
std::int64_t check_convergence(const run::RunPlan& setup, const run::RunResult& r,
                               results::Summary& summed) {
  run::RunPlan tight;
  tight.input_text = setup.input_text;
  tight.legacy_files = false;
  tight.overrides = setup.overrides;
  tight.kind = setup.kind;
  const double tol = r.values.prmt[3] * results::kTighter;
  const double h_max = r.values.prmt[2] * results::kTighter;
  tight.overrides.set(*params::find_param("tol"), tol);
  tight.overrides.set(*params::find_param("h_max"), h_max);
  results::SummaryObserver tight_summary;
  tight.observers.push_back(&tight_summary);
  const run::RunResult tight_result = run::simulate(tight);
  summed.convergence =
      results::compare(summed, results::summarize(tight_result, tight_summary), tol, h_max);
  return tight_result.stats.derivative_calls;
}

void BM_Feature(benchmark::State& state, Feature feature) {
  run::RunPlan base;
  if (auto bad = feature_setup(feature, base)) {
    state.SkipWithError(bad->c_str());
    return;
  }
  const bool summed =
      feature == Feature::convergence || feature == Feature::tipping || feature == Feature::decided;
  std::int64_t calls = 0;
  for (auto _ : state) {
    run::RunPlan setup = base;
    results::SummaryObserver summary({}, feature == Feature::decided);
    if (summed) setup.observers.push_back(&summary);
    const run::RunResult r = run::simulate(setup);
    if (r.error) state.SkipWithError(r.error->message.c_str());
    calls = r.stats.derivative_calls;
    if (summed) {
      results::Summary s = results::summarize(r, summary);
      if (feature == Feature::convergence) calls += check_convergence(setup, r, s);
      benchmark::DoNotOptimize(s);
    }
  }
  state.counters["derivative_calls"] = static_cast<double>(calls);
}
BENCHMARK_CAPTURE(BM_Feature, sound, Feature::sound)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Feature, scenario, Feature::scenario)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Feature, road, Feature::road)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Feature, convergence, Feature::convergence)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Feature, tipping, Feature::tipping)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Feature, decided, Feature::decided)->Unit(benchmark::kMillisecond);

// One case as a sweep runs it (no file, summary kept), the same case as BM_Run/extra:0/files:0
// (model:0, the legacy model) and with the sound model (model:1), which settles the truck first.
void BM_SweepCase(benchmark::State& state) {
  sweep::BaseCase base;
  base.input_text = example();
  base.kind = state.range(0) == 0 ? model::Kind::legacy : model::Kind::sound;
  base.stop_when_decided = false;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sweep::run_case(base, {}));
  }
}
BENCHMARK(BM_SweepCase)->ArgName("model")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A sweep of 1000 cases over m_4 x zc_4 (stable, lifting and tipping trucks among them) on 1 and
// 2 threads: wall time, process CPU time and cases per second.
void BM_Sweep1000(benchmark::State& state) {
  sweep::SweepPlan plan;
  plan.base.input_text = example();
  plan.axes.resize(2);
  sweep::parse_axis("m_4=500:2450:50", plan.axes[0]);
  sweep::parse_axis("zc_4=0:2.4:0.1", plan.axes[1]);
  plan.threads = static_cast<int>(state.range(0));
  const std::int64_t cases = sweep::case_count(plan.axes);
  for (auto _ : state) {
    std::int64_t rows = 0;
    sweep::run_sweep(plan, 0, [&](sweep::SweepRow&) { ++rows; });
    if (rows != cases) state.SkipWithError("cases missing");
  }
  state.counters["cases_per_second"] =
      benchmark::Counter(static_cast<double>(cases) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Sweep1000)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kSecond);

// The load-capacity chart of the example at 20 heights (0 to 2.85 m) over the default mass range at
// 1 kg resolution, sound model, on 1 and 2 threads: wall time and process CPU time.
void BM_Capacity20(benchmark::State& state) {
  sweep::CapacityPlan plan;
  plan.base.input_text = example();
  sweep::parse_axis("zc_4=0:2.85:0.15", plan.heights);
  plan.threads = static_cast<int>(state.range(0));
  long runs = 0;
  for (auto _ : state) {
    std::int64_t rows = 0;
    sweep::run_capacity(plan, 0, [&](std::int64_t, sweep::CapacityRow& row) {
      ++rows;
      runs += row.runs;
    });
    if (rows != static_cast<std::int64_t>(plan.heights.values.size())) {
      state.SkipWithError("heights missing");
    }
  }
  state.counters["runs"] = static_cast<double>(runs) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Capacity20)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kSecond);

// The tilting-table test of the example at the same 20 heights, on 1 and 2 threads: to set beside
// BM_Capacity20.
void BM_Tilt20(benchmark::State& state) {
  sweep::TiltPlan plan;
  plan.base.input_text = example();
  sweep::parse_axis("zc_4=0:2.85:0.15", plan.heights);
  plan.threads = static_cast<int>(state.range(0));
  long runs = 0;
  for (auto _ : state) {
    std::int64_t rows = 0;
    sweep::run_tilt(plan, 0, [&](std::int64_t, sweep::TiltRow& row) {
      ++rows;
      runs += row.runs;
    });
    if (rows != static_cast<std::int64_t>(plan.heights.values.size())) {
      state.SkipWithError("heights missing");
    }
  }
  state.counters["runs"] = static_cast<double>(runs) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Tilt20)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kSecond);

}  // namespace
