#include "cli/run_command.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "run/simulation.h"
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
  std::snprintf(step, sizeof step, "%.6g s\n", s.smallest_step);
  return line + step;
}

}  // namespace

std::string input_warnings(const params::CaseValues& values, const run::InputNotes& notes) {
  std::string text;
  for (const run::IgnoredValue& v : notes.ignored) {
    const std::string name(v.param->name);
    text += "liftsim: warning: dani.dat record " + std::to_string(v.record) + " holds " + name +
            " = " + params::shortest(v.read) + "; the run uses the built-in " +
            params::shortest(v.used) + " (to use the file's value: --set " + name + "=" +
            params::shortest(v.read) + ")\n";
  }
  for (const run::ImpliedPoint& p : notes.implied_points) {
    text += "liftsim: warning: dani.dat record " + std::to_string(p.record) + ": '" +
            escaped(p.text) + "' has no decimal point, so the field's implied one makes " +
            std::string(p.param->name) + " = " + params::shortest(p.value) +
            " (write it with a point, e.g. '" + escaped(p.text) + ".', to mean " +
            escaped(p.text) + ")\n";
  }
  if (values.par.m_4 < 1.0) {
    text += "liftsim: warning: load mass m_4 = " + params::shortest(values.par.m_4) +
            " kg is below 1 kg; the run will end at its first output point (the analytic "
            "wheel load divides by the whole kilograms of the load)\n";
  }
  return text;
}

int run_command(const RunOptions& options) {
  ResolvedCase rc = resolve(options.case_options);
  const bool warn = warnings_wanted(options.case_options);

  textio::Console console(STDOUT_FILENO);
  run::RunSpec spec;
  spec.dir_fd = rc.dir_fd;
  spec.overrides = std::move(rc.overrides);
  spec.road = std::move(rc.road);
  spec.restarts = rc.restarts;
  spec.console = &console;
  if (warn) {
    spec.on_input = [](const params::CaseValues& values, const run::InputNotes& notes) {
      textio::write_all(STDERR_FILENO, input_warnings(values, notes));
    };
  }
  const run::RunResult result = run::simulate(spec);
  if (rc.dir_fd >= 0) ::close(rc.dir_fd);

  if (result.error) {
    textio::write_all(STDERR_FILENO, textio::report_text(*result.error));
    if (options.stats) textio::write_all(STDERR_FILENO, stats_line(result.stats));
    return 1;
  }
  if (options.stats) textio::write_all(STDERR_FILENO, stats_line(result.stats));
  try {
    console.write_stop_line();
  } catch (const textio::RunFailure& failure) {
    textio::write_all(STDERR_FILENO, textio::report_text(failure.error()));
    return 1;
  }
  return 0;
}

}  // namespace liftsim::cli
