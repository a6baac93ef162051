// The HTML pages of the command line: a run, a sweep's stability map, a capacity chart.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "html/report.h"
#include "model/road.h"
#include "params/overrides.h"
#include "results/columns.h"
#include "results/page_sink.h"
#include "results/summary.h"
#include "run/simulation.h"
#include "sweep/axes.h"
#include "sweep/provenance.h"
#include "sweep/study.h"

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

// The cell a sweep's row gets on the stability map, whose axes are the first two varied
// parameters; with more axes a cell shows the first case that falls in it, and the others get
// none. Its summary holds the row's fields by `columns` (the result file's header).
std::optional<html::SweepCase> sweep_cell(const std::vector<sweep::Axis>& axes,
                                          const std::vector<std::string>& columns,
                                          const sweep::SweepRow& row);

// Writes the stability map of a sweep from its cells (every case it holds, resumed ones too).
void write_sweep_html(const std::string& path, const std::string& title,
                      const std::vector<sweep::Axis>& axes, std::vector<html::SweepCase> cells,
                      const sweep::BaseFacts& base);

// Writes the capacity chart from its rows.
// The tilting-table test's page: the critical slope by load height, the rigid truck's beside it,
// the required slope and whether each height passes.
void write_tilt_html(const std::string& path, const std::string& title, const sweep::Axis& heights,
                     const std::optional<double>& require, const std::vector<sweep::TiltRow>& rows,
                     const sweep::BaseFacts& base);

void write_capacity_html(const std::string& path, const std::string& title,
                         const sweep::Axis& heights, const std::optional<sweep::Axis>& across,
                         const std::vector<sweep::CapacityRow>& rows,
                         const sweep::BaseFacts& base);

}  // namespace liftsim::cli
