// The HTML pages of the command line: a run, a sweep's stability map, a capacity chart.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/road.h"
#include "params/overrides.h"
#include "results/columns.h"
#include "results/page_sink.h"
#include "results/summary.h"
#include "run/simulation.h"
#include "sweep/axes.h"

namespace liftsim::cli {

// The column data a run page carries at most: with the rest of the page (the plotting library,
// its scripts, the road) it stays under about 10 MB whatever the run.
inline constexpr std::size_t kRunPageDataBytes = 8'000'000;
// The road points a run page carries at most; a longer profile is shown by the points that keep
// every rise and dip of it.
inline constexpr std::size_t kRunPageRoadPoints = 20'000;

// Writes the page of one run: its rows (the CSV's columns, taken from `rows`), summary, case and
// truck; `csv_file` names the CSV holding every row, if one was written whole. Throws
// textio::RunFailure (OPEN or WRITE) when the file cannot be written.
void write_run_html(const std::string& path, const std::string& title, const run::RunResult& result,
                    const results::Summary& summary,
                    const std::vector<const results::Column*>& columns, results::PageSink& rows,
                    const std::string& csv_file, const model::Road& road);

// Writes the stability map of a sweep from its result file's text (every case it holds).
void write_sweep_html(const std::string& path, const std::string& title,
                      const std::vector<sweep::Axis>& axes, const std::string& results_text,
                      const params::Overrides& base);

// Writes the capacity chart from a capacity result file's text.
void write_capacity_html(const std::string& path, const std::string& title,
                         const sweep::Axis& heights, const std::string& results_text,
                         const params::Overrides& base);

}  // namespace liftsim::cli
