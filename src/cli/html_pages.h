// The HTML pages of the command line: a run, a sweep's stability map, a capacity chart.
#pragma once

#include <string>
#include <vector>

#include "model/road.h"
#include "params/overrides.h"
#include "results/columns.h"
#include "results/summary.h"
#include "run/simulation.h"
#include "sweep/axes.h"

namespace liftsim::cli {

// Writes the page of one run: its rows (the CSV's columns), summary, case and truck. Throws
// textio::RunFailure (OPEN or WRITE) when the file cannot be written.
void write_run_html(const std::string& path, const std::string& title, const run::RunResult& result,
                    const results::Summary& summary,
                    const std::vector<const results::Column*>& columns,
                    const std::vector<std::vector<double>>& rows, const model::Road& road);

// Writes the stability map of a sweep from its result file's text (every case it holds).
void write_sweep_html(const std::string& path, const std::string& title,
                      const std::vector<sweep::Axis>& axes, const std::string& results_text,
                      const params::Overrides& base);

// Writes the capacity chart from a capacity result file's text.
void write_capacity_html(const std::string& path, const std::string& title,
                         const sweep::Axis& heights, const std::string& results_text,
                         const params::Overrides& base);

}  // namespace liftsim::cli
