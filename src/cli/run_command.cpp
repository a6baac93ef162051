#include "cli/run_command.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>
#include <tuple>

#include "cli/html_pages.h"
#include "cli/interrupt.h"
#include "cli/file_check.h"
#include "html/report.h"
#include "results/convergence.h"
#include "results/page_sink.h"
#include "results/csv_writer.h"
#include "results/summary.h"
#include "results/summary_text.h"
#include "run/simulation.h"
#include "textio/buffered_file.h"
#include "textio/files.h"

namespace liftsim::cli {
namespace {

std::string stats_line(const run::RunStats& s) {
  std::string line = "liftsim: derivative calls " + std::to_string(s.derivative_calls) +
                     ", output calls " + std::to_string(s.output_calls) + ", accepted steps " +
                     std::to_string(s.accepted_steps) + ", halvings " + std::to_string(s.halvings) +
                     ", doublings " + std::to_string(s.doublings) + ", integrator legs " +
                     std::to_string(s.legs) + ", smallest step ";
  char step[32];
  std::snprintf(step, sizeof step, "%.6g s\r\n", s.smallest_step);
  return line + step;
}

}  // namespace

std::string input_warnings(const params::CaseValues& values, const run::InputNotes& notes) {
  std::string text;
  for (const run::IgnoredValue& v : notes.ignored) {
    const std::string name(v.param->name);
    text += "liftsim: warning: dani.dat record " + std::to_string(v.record) + " holds " + name +
            " = " + params::shortest(v.read) + "; the run uses the built-in " +
            params::written(v.used).text + " (to use the file's value: --set " + name + "=" +
            params::shortest(v.read) + ")\n";
  }
  for (const run::ImpliedPoint& p : notes.implied_points) {
    text += "liftsim: warning: dani.dat record " + std::to_string(p.record) + ": '" +
            escaped(p.text) + "' has no decimal point, so the field's implied one makes " +
            std::string(p.param->name) + " = " + params::shortest(p.value) +
            " (write it with a point, e.g. '" + escaped(p.text) + ".', to mean " + escaped(p.text) +
            ")\n";
  }
  if (values.par.m_4 < 1.0) {
    text += "liftsim: warning: load mass m_4 = " + params::shortest(values.par.m_4) +
            " kg is below 1 kg; the run will end at its first output point (the analytic "
            "wheel load divides by the whole kilograms of the load)\n";
  }
  return text;
}

namespace {

void check_result_options(const ResultOptions& r) {
  if (r.grid_step && !(std::isfinite(*r.grid_step) && *r.grid_step > 0.0)) {
    throw UsageError{"--grid: the step must be a finite number of seconds > 0"};
  }
  if (r.grid_step && r.csv_file.empty() && r.html_file.empty()) {
    throw UsageError{"--grid needs --csv FILE or --html FILE"};
  }
  if (r.force && !r.grid_step) throw UsageError{"--force only lifts the row limit of --grid"};
  if (!(std::isfinite(r.slide_limit) && r.slide_limit >= 0.0)) {
    throw UsageError{"--slide-limit must be a finite length >= 0 (m)"};
  }
  if (!std::isfinite(r.lift_force)) throw UsageError{"--lift-force must be a finite force (N)"};
  if (r.convergence && r.summary_file.empty() && r.html_file.empty()) {
    throw UsageError{"--convergence needs --summary FILE or --html FILE to report to"};
  }
}

// A grid of more rows than this takes --force: 10^7 rows of all columns are about 7 GB of CSV.
constexpr double kGridRowLimit = 1e7;

void check_grid_rows(const ResultOptions& r, const ResolvedCase& rc) {
  if (!r.grid_step || r.force) return;
  const double rows = std::floor((rc.t_end - rc.t_start) / *r.grid_step) + 1.0;
  if (rows <= kGridRowLimit) return;
  char count[32];
  std::snprintf(count, sizeof count, rows < 1e15 ? "%.0f" : "%.3g", rows);
  throw UsageError{"--grid " + params::shortest(*r.grid_step) + " makes " + count +
                   " rows from t_start = " + params::shortest(rc.t_start) +
                   " s to t_end = " + params::shortest(rc.t_end) +
                   " s, more than the limit of 10000000; take a larger step, or add --force to "
                   "write them all"};
}

// Every file the run writes against every other and against every file it reads.
void check_files(const RunOptions& options, const ResolvedCase& rc, bool progress_on_stderr) {
  const ResultOptions& r = options.results;
  std::vector<NamedFile> outputs, inputs;
  for (const auto& [option, path, dash] :
       {std::tuple{"--csv", &r.csv_file, true}, std::tuple{"--summary", &r.summary_file, true},
        std::tuple{"--html", &r.html_file, false}}) {
    if (path->empty()) continue;
    outputs.push_back(named(option, *path));
    outputs.back().standard_output = dash && *path == "-";
  }
  for (NamedFile& f : run_outputs(rc.dir_fd, progress_on_stderr)) outputs.push_back(std::move(f));
  inputs.push_back(run_input(rc.dir_fd));
  for (NamedFile& f : case_input_files(options.case_options)) inputs.push_back(std::move(f));
  if (auto conflict = first_conflict(outputs, inputs)) throw UsageError{*conflict};
}

}  // namespace

int run_command(const RunOptions& options) {
  const ResultOptions& ro = options.results;
  check_result_options(ro);
  std::vector<const results::Column*> selected;
  std::string unknown;
  if (!results::select_columns(ro.columns, selected, unknown)) {
    throw UsageError{"--columns: unknown column '" + unknown + "'; 'liftsim columns' lists them"};
  }
  // Standard output carries one output at most: with results there, the progress lines and the
  // stop line go to standard error.
  const bool progress_on_stderr = ro.csv_file == "-" || ro.summary_file == "-";
  ResolvedCase rc = resolve(options.case_options, model::Kind::legacy);
  try {
    check_grid_rows(ro, rc);
    check_files(options, rc, progress_on_stderr);
  } catch (const UsageError&) {
    if (rc.dir_fd >= 0) ::close(rc.dir_fd);
    throw;
  }
  const bool warn = warnings_wanted(options.case_options);

  textio::Console console(progress_on_stderr ? STDERR_FILENO : STDOUT_FILENO);
  // From here on SIGINT, SIGTERM and SIGHUP end the run at its next output point.
  install_interrupt_handlers();
  run::RunPlan setup;
  setup.stop = &interrupt_signal();
  setup.dir_fd = rc.dir_fd;
  setup.overrides = std::move(rc.overrides);
  setup.road = std::move(rc.road);
  setup.kind = rc.kind;
  setup.drive = rc.drive;
  setup.labels = rc.labels;
  setup.work = rc.work;
  setup.console = &console;
  if (warn) {
    setup.on_input = [](const params::CaseValues& values, const run::InputNotes& notes) {
      textio::write_all(STDERR_FILENO, crlf_lines(input_warnings(values, notes)));
    };
  }
  results::SummaryObserver summary({ro.slide_limit, ro.lift_force}, ro.stop_when_decided);
  textio::BufferedFile csv_file;
  std::optional<results::CsvSink> csv;
  // The page's rows: all of them while they fit its size, else a view that keeps every extreme.
  std::optional<results::PageSink> page;
  std::optional<results::RowMaker> rows;
  std::optional<textio::RunError> error;
  const bool html = !ro.html_file.empty();
  try {
    if (!ro.csv_file.empty()) {
      csv_file.open(ro.csv_file);
      csv.emplace(csv_file, selected);
    }
    if (html) {
      page.emplace(selected.size(), rc.t_start, rc.t_end,
                   html::run_rows_within(selected.size(), kRunPageDataBytes));
    }
    if (csv || page) {
      std::vector<results::RowSink*> sinks;
      if (csv) sinks.push_back(&*csv);
      if (page) sinks.push_back(&*page);
      rows.emplace(ro.grid_step, selected, std::move(sinks));
      setup.observers.push_back(&*rows);
    }
  } catch (const textio::RunFailure& failure) {
    error = failure.error();
  }
  if (!ro.summary_file.empty() || html || ro.stop_when_decided) {
    setup.observers.push_back(&summary);
  }

  run::RunResult result;
  if (!error) {
    result = run::simulate(setup);
    error = result.error;
  }
  // How sure the answer is: the same case with a tenth of the error bound and the largest step.
  std::optional<results::Summary> summed;
  if (result.input_read && (!ro.summary_file.empty() || html)) {
    summed = results::summarize(result, summary);
    if (ro.convergence && !error) {
      if (auto stopped = results::add_convergence(setup, result, {ro.slide_limit, ro.lift_force},
                                                  ro.stop_when_decided, *summed)) {
        error = stopped;
      }
    }
  }
  if (rc.dir_fd >= 0) ::close(rc.dir_fd);

  // Every whole row the run produced stays in the CSV, whatever ended the run.
  try {
    if (csv_file.is_open()) csv_file.close();
  } catch (const textio::RunFailure& failure) {
    if (!error) error = failure.error();
  }
  if (!error) {
    if (options.stats) textio::write_all(STDERR_FILENO, stats_line(result.stats));
    try {
      console.write_stop_line();
    } catch (const textio::RunFailure& failure) {
      error = failure.error();
    }
  }
  if (html && result.input_read) {
    // The CSV named on the page holds every row unless writing it failed.
    const bool csv_whole =
        csv.has_value() && ro.csv_file != "-" && !(error && error->file == ro.csv_file);
    try {
      write_run_html(ro.html_file, "liftsim run", result, *summed, selected, *page,
                     csv_whole ? ro.csv_file : std::string(), setup.road);
    } catch (const textio::RunFailure& failure) {
      if (!error) error = failure.error();
    }
  }
  if (!ro.summary_file.empty() && result.input_read) {
    const results::Summary& s = *summed;
    try {
      textio::BufferedFile out;
      out.open(ro.summary_file);
      out.buffer() =
          ro.summary_file == "-" ? crlf_lines(results::summary_lines(s)) : results::summary_json(s);
      out.end_record();
      out.close();
    } catch (const textio::RunFailure& failure) {
      if (!error) error = failure.error();
    }
  }
  if (error) {
    // A file name from the command line may hold anything; the report stays three lines of text.
    textio::RunError shown = *error;
    shown.file = escaped(shown.file, true);
    shown.message = escaped(shown.message, true);
    textio::write_all(STDERR_FILENO, textio::report_text(shown));
    if (options.stats) textio::write_all(STDERR_FILENO, stats_line(result.stats));
    // Stopped by a signal: the status a shell gives a command the signal ended.
    if (error->code == textio::ErrorCode::S6600) return 128 + interrupt_signal().load();
    return 1;
  }
  return 0;
}

}  // namespace liftsim::cli
