#include "cli/run_command.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/html_pages.h"
#include "cli/interrupt.h"
#include "results/convergence.h"
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

void check_result_options(const ResultOptions& r) {
  if (r.grid_step && !(std::isfinite(*r.grid_step) && *r.grid_step > 0.0)) {
    throw UsageError{"--grid: the step must be a finite number of seconds > 0"};
  }
  if (r.grid_step && r.csv_file.empty() && r.html_file.empty()) {
    throw UsageError{"--grid needs --csv FILE or --html FILE"};
  }
  if (!(std::isfinite(r.slide_limit) && r.slide_limit >= 0.0)) {
    throw UsageError{"--slide-limit must be a finite length >= 0 (m)"};
  }
  if (!std::isfinite(r.lift_force)) throw UsageError{"--lift-force must be a finite force (N)"};
  if (r.convergence && r.summary_file.empty() && r.html_file.empty()) {
    throw UsageError{"--convergence needs --summary FILE or --html FILE to report to"};
  }
  if (r.csv_file == "-" && r.summary_file == "-") {
    throw UsageError{"--csv - and --summary - cannot both use standard output"};
  }
}

int run_command(const RunOptions& options) {
  check_result_options(options.results);
  ResolvedCase rc = resolve(options.case_options, model::Kind::legacy);
  for (const auto& [file, option] : {std::pair{&options.results.csv_file, "--csv"},
                                     std::pair{&options.results.summary_file, "--summary"},
                                     std::pair{&options.results.html_file, "--html"}}) {
    try {
      refuse_run_file(*file, rc.dir_fd, option);
    } catch (const UsageError&) {
      if (rc.dir_fd >= 0) ::close(rc.dir_fd);
      throw;
    }
  }
  const bool warn = warnings_wanted(options.case_options);
  const ResultOptions& ro = options.results;

  // A CSV on standard output gets it to itself: the progress lines go to standard error.
  textio::Console console(ro.csv_file == "-" ? STDERR_FILENO : STDOUT_FILENO);
  // From here on SIGINT, SIGTERM and SIGHUP end the run at its next output point.
  install_interrupt_handlers();
  run::RunSpec setup;
  setup.stop = &interrupt_signal();
  setup.dir_fd = rc.dir_fd;
  setup.overrides = std::move(rc.overrides);
  setup.road = std::move(rc.road);
  setup.kind = rc.kind;
  setup.drive = rc.drive;
  setup.work = rc.work;
  setup.console = &console;
  if (warn) {
    setup.on_input = [](const params::CaseValues& values, const run::InputNotes& notes) {
      textio::write_all(STDERR_FILENO, crlf_lines(input_warnings(values, notes)));
    };
  }
  results::SummaryObserver summary({ro.slide_limit, ro.lift_force}, ro.stop_when_decided);
  textio::BufferedFile csv_file;
  std::optional<results::CsvWriter> csv;
  std::optional<textio::RunError> error;
  std::vector<std::vector<double>> page_rows;
  std::vector<const results::Column*> selected;
  std::string unknown;
  if (!results::select_columns(ro.columns, selected, unknown)) {
    throw UsageError{"--columns: unknown column '" + unknown + "'; 'liftsim columns' lists them"};
  }
  const bool html = !ro.html_file.empty();
  try {
    if (!ro.csv_file.empty()) csv_file.open(ro.csv_file);
    if (!ro.csv_file.empty() || html) {
      csv.emplace(csv_file.is_open() ? &csv_file : nullptr, ro.grid_step,
                  html ? &page_rows : nullptr, selected);
      setup.observers.push_back(&*csv);
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
      run::RunSpec tight;
      tight.dir_fd = rc.dir_fd;
      tight.legacy_files = false;
      tight.overrides = setup.overrides;
      tight.road = setup.road;
      tight.kind = setup.kind;
      tight.drive = setup.drive;
      tight.work = setup.work;
      tight.stop = setup.stop;
      const double tol = result.values.prmt[3] * results::kTighter;
      const double h_max = result.values.prmt[2] * results::kTighter;
      tight.overrides.set(*params::find_param("tol"), tol);
      tight.overrides.set(*params::find_param("h_max"), h_max);
      results::SummaryObserver tight_summary({ro.slide_limit, ro.lift_force},
                                             ro.stop_when_decided);
      tight.observers.push_back(&tight_summary);
      const run::RunResult tight_result = run::simulate(tight);
      if (tight_result.error && tight_result.error->code == textio::ErrorCode::S6600) {
        error = tight_result.error;
      } else {
        summed->convergence = results::compare(
            *summed, results::summarize(tight_result, tight_summary), tol, h_max);
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
    try {
      write_run_html(ro.html_file, "liftsim run", result, *summed,
                     selected, page_rows, setup.road);
    } catch (const textio::RunFailure& failure) {
      if (!error) error = failure.error();
    }
  }
  if (!ro.summary_file.empty() && result.input_read) {
    const results::Summary& s = *summed;
    try {
      textio::BufferedFile out;
      out.open(ro.summary_file);
      // On standard output the lines follow the progress lines, so they end the same way.
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
