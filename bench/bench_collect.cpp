// What the Python module's run costs in C++: the example with every column kept in memory and the
// summary gathered, no file written (compare bench_python.py for the same run from Python).
#include <benchmark/benchmark.h>

#include <string>

#include "examples/bundled.h"
#include "results/column_collector.h"
#include "results/summary.h"
#include "run/simulation.h"

namespace {

using namespace liftsim;

void BM_RunKeepingColumns(benchmark::State& state) {
  const bool keep = state.range(0) != 0;
  for (auto _ : state) {
    run::RunPlan setup;
    setup.input_text = std::string(examples::dani_dat());
    setup.legacy_files = false;
    results::ColumnCollector columns(results::columns().size());
    results::RowMaker rows(std::nullopt, {}, {&columns});
    results::SummaryObserver summary;
    if (keep) setup.observers.push_back(&rows);
    setup.observers.push_back(&summary);
    const run::RunResult r = run::simulate(setup);
    if (r.error) state.SkipWithError(r.error->message.c_str());
    benchmark::DoNotOptimize(results::summarize(r, summary));
    benchmark::DoNotOptimize(columns.values().data());
  }
}
BENCHMARK(BM_RunKeepingColumns)->ArgName("columns")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
