#include "cli/app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string_view>
#include <vector>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

#include "cli/columns_command.h"
#include "cli/common.h"
#include "cli/params_command.h"
#include "cli/run_command.h"
#include "cli/sweep_command.h"
#include "params/text.h"
#include "textio/files.h"

#ifndef LIFTSIM_VERSION
#define LIFTSIM_VERSION "unknown"
#endif

namespace liftsim::cli {
namespace {

constexpr const char* kStudyStatus =
    "Exit status: 0 when every row was written (a case that failed says so in its row), 1 when a "
    "file could not be read or written, 2 for a usage error (nothing run, no file touched), "
    "128+N when signal N stopped it (the file keeps every finished row; --resume goes on).";

constexpr const char* kDescription =
    "Simulates the planar dynamics of a lift truck. Without a command, reads dani.dat in the\n"
    "folder and writes the report result.rez and 22 time-history files (*.rez) beside it;\n"
    "statica.dat is opened and left unchanged. Progress lines go to standard output, error\n"
    "reports to standard error (exit status 1); usage errors exit with status 2.\n"
    "Of dani.dat a plain run uses the load mass m_4, the load height zc_4 (record 10) and the\n"
    "observation points (records 38-43); every other record must be present but its value is\n"
    "replaced by the built-in one ('liftsim params' lists them; --set NAME=VALUE uses another).";

template <class T>
struct Unwrapped {
  using type = T;
};
template <class T>
struct Unwrapped<std::optional<T>> {
  using type = T;
};

// An option holding a number: CLI11 hands over the text and the one reader of numbers
// (params/text.h) converts it, so that every option accepts the same forms as --set and the files.
// A bad value is a usage error naming the option, the value and what is accepted.
template <class Target>
CLI::Option* add_number(CLI::App& app, const std::string& names, Target& target,
                        const std::string& help) {
  const std::string option = names.substr(0, names.find(','));
  return app.add_option_function<std::string>(
      names,
      [&target, option](const std::string& text) {
        typename Unwrapped<Target>::type value{};
        std::string problem;
        if constexpr (std::is_floating_point_v<decltype(value)>) {
          if (const auto read = params::read_number(text, value); read != params::NumberRead::ok)
            problem = params::number_problem(text, read);
        } else {
          if (const auto read = params::read_whole(text, value); read != params::NumberRead::ok)
            problem = params::whole_problem<decltype(value)>(text, read);
        }
        if (!problem.empty()) throw CLI::ValidationError(option + ": " + problem);
        target = value;
      },
      help);
}

void add_case_options(CLI::App& app, CaseOptions& o, const char* model_default) {
  app.add_option("-C", o.directory, "Run in the folder DIR instead of the current one")
      ->type_name("DIR");
  app.add_option("--set", o.sets, "Use VALUE for the parameter NAME (repeatable)")
      ->type_name("NAME=VALUE")
      ->expected(1)
      ->take_all();
  app.add_option("--params", o.params_file,
                 "Read NAME = VALUE assignments from a TOML file (--set wins)")
      ->type_name("FILE");
  app.add_option("--road", o.road_file,
                 "Road profile: CSV of x [m], z [m] with increasing x (flat otherwise)")
      ->type_name("FILE");
  app.add_option("--drive", o.drive_file,
                 "Drive torque on the traction-wheel shaft instead of the engine law: CSV of t [s], "
                 "torque [N*m] (positive drives towards the forks), linear between rows; 'off' for "
                 "none")
      ->type_name("FILE|off");
  app.add_option("--brake", o.brake,
                 "Brake on the traction wheels: CSV of t [s], torque limit [N*m] >= 0, or 'hold' "
                 "for a brake that holds the wheels from the start")
      ->type_name("FILE|hold");
  add_number(app, "--work-limit", o.work_limit,
                 "End a run that has made more than N derivative calls as stalled (M6110); a run "
                 "of the example needs about 20000 (default " +
                     std::to_string(run::WorkLimit{}.derivative_calls) + "; 0: no limit)")
      ->type_name("N");
  add_number(app, "--max-restarts", o.max_restarts,
             "0: no work limit, as --work-limit 0 (any other N keeps the default limit)")
      ->type_name("N");
  app.add_option("--model", o.model,
                 "legacy: the moment arms of the stored results (global coordinates); sound: "
                 "arms from the traction axle, and a start from the model's own equilibrium "
                 "(default " + std::string(model_default) + ")")
      ->type_name("legacy|sound");
  app.add_flag("--quiet,-q", o.quiet, "No warnings");
  app.add_flag("--warn", o.warn, "Warnings even when standard error is not a terminal");
}

void add_verdict_options(CLI::App& app, double& slide_limit, double& lift_force,
                         bool& stop_when_decided, bool on_by_default) {
  if (on_by_default) {
    // Two flags rather than CLI11's negated form, which --help shows as a raw option list.
    CLI::Option* on = app.add_flag(
        "--stop-when-decided", stop_when_decided,
        "End each run once its verdict cannot change any more: a certain tip-over or a state "
        "outside the model (default on)");
    app.add_flag_callback(
           "--no-stop-when-decided", [&stop_when_decided] { stop_when_decided = false; },
           "Run every case to its end time")
        ->excludes(on);
  } else {
    app.add_flag("--stop-when-decided", stop_when_decided,
                 "End the run once its verdict cannot change any more: a certain tip-over or a "
                 "state outside the model");
  }
  add_number(app, "--slide-limit", slide_limit,
                 "Verdict: largest load travel along the forks still held, m (default 0.05)")
      ->type_name("M");
  add_number(app, "--lift-force", lift_force,
             "Verdict: steered-wheel force at or below which the wheels count as lifted, N "
             "(default 0)")
      ->type_name("N");
}

void add_sweep_options(CLI::App& app, SweepOptions& o, const char* default_output,
                       const char* vary_help) {
  add_case_options(app, o.case_options, "sound");
  app.add_option("--vary", o.vary, vary_help)
      ->type_name("NAME=VALUES")
      ->expected(1)
      ->take_all();
  add_number(app, "--jobs,-j", o.jobs,
             "Threads, 1 to 1024 (default 0: as many as the CPUs this process may use, never "
             "more than the cases)")
      ->type_name("N");
  app.add_option("-o", o.output,
                 std::string("Result file, locked while written ('-': standard output; default ") +
                     default_output + ")")
      ->type_name("FILE");
  app.add_flag("--resume", o.resume,
               "Continue an interrupted run from its result file, after checking that it holds "
               "this study's rows (a missing or empty file starts afresh)");
  app.add_option("--shard", o.shard, "Run the K-th of N slices (cases i with i mod N = K-1)")
      ->type_name("K/N");
  app.add_option("--html", o.html_file, "Also write the results as a page with a chart")
      ->type_name("FILE");
  add_verdict_options(app, o.slide_limit, o.lift_force, o.stop_when_decided, true);
}

// The arguments with the options given before a subcommand moved after it, so that they apply to
// the subcommand (which refuses those it does not take, naming them) instead of being dropped:
// `liftsim --set m_4=1500 sweep ...` is `liftsim sweep --set m_4=1500 ...`. --help and
// --version stay where they are. `moved` receives the options moved.
std::vector<std::string> subcommand_first(const CLI::App& app, int argc, char** argv,
                                          std::vector<std::string>& moved) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::size_t i = 0;
  std::vector<std::size_t> options;  // positions of the tokens before the subcommand
  for (; i < args.size(); ++i) {
    const std::string& token = args[i];
    if (token == "--") return args;
    if (token.size() > 1 && token[0] == '-') {
      const bool long_name = token.starts_with("--");
      const std::string name = long_name ? token.substr(0, token.find('=')) : token.substr(0, 2);
      if (name == "--help" || name == "-h" || name == "--version") return args;
      options.push_back(i);
      const bool inline_value = long_name ? token.find('=') != std::string::npos : token.size() > 2;
      const CLI::Option* option = app.get_option_no_throw(name);
      if (option != nullptr && option->get_expected_min() > 0 && !inline_value &&
          i + 1 < args.size()) {
        options.push_back(++i);
      }
      continue;
    }
    break;  // the first word that is not an option nor an option's value
  }
  if (i >= args.size() || options.empty()) return args;
  bool is_subcommand = false;
  for (const CLI::App* sub : app.get_subcommands({})) is_subcommand |= sub->get_name() == args[i];
  if (!is_subcommand) return args;
  std::vector<std::string> reordered{args[i]};
  for (std::size_t k : options) {
    reordered.push_back(args[k]);
    if (args[k].starts_with("-")) moved.push_back(args[k].substr(0, args[k].find('=')));
  }
  reordered.insert(reordered.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  return reordered;
}

}  // namespace

int main_with_args(int argc, char** argv) {
  CLI::App app{"", "liftsim"};
  app.footer(kDescription);
  app.set_version_flag("--version", "liftsim " LIFTSIM_VERSION);
  app.require_subcommand(0, 1);
  app.fallthrough(false);

  RunOptions run_options;
  add_case_options(app, run_options.case_options, "legacy");
  app.add_flag("--stats", run_options.stats,
               "After the run, print integration statistics to standard error");
  ResultOptions& ro = run_options.results;
  app.add_option("--csv", ro.csv_file,
                 "Write every output point to FILE as CSV ('liftsim columns' lists the columns; "
                 "'-': standard output, the progress lines then go to standard error)")
      ->type_name("FILE");
  app.add_option("--columns", ro.columns,
                 "With --csv or --html: only these columns (t is always first)")
      ->type_name("NAME,...");
  add_number(app, "--grid", ro.grid_step,
             "With --csv or --html: rows at t_start + k*DT, interpolated between output "
             "points (at most 10^7 rows)")
      ->type_name("DT");
  app.add_flag("--force", ro.force, "With --grid: write more than 10^7 rows");
  app.add_option("--summary", ro.summary_file,
                 "Write the run summary and verdict to FILE as JSON ('-': lines on standard "
                 "output, the progress lines then go to standard error)")
      ->type_name("FILE");
  app.add_option("--html", ro.html_file,
                 "Write a page with the summary, plots and the moving truck to FILE (at most "
                 "about 10 MB: a long run's rows are downsampled, every extreme kept)")
      ->type_name("FILE");
  add_verdict_options(app, ro.slide_limit, ro.lift_force, ro.stop_when_decided, false);
  app.add_flag("--convergence", ro.convergence,
               "Run the case again with a tenth of tol and h_max and report in the summary and "
               "the page how each figure moved and whether the verdict holds");

  ParamsOptions params_options;
  CLI::App* params = app.add_subcommand(
      "params", "List every parameter: name, value a run uses, unit, source, meaning");
  params->footer("Exit status: 0, or 2 for a usage error. Without a readable dani.dat in the folder "
                 "the values it would supply are unknown (and none is created).");
  add_case_options(*params, params_options.case_options, "legacy");
  params->add_flag("--json", params_options.json, "As JSON");

  SweepOptions sweep_options;
  CLI::App* sweep = app.add_subcommand(
      "sweep", "Run the base case with parameters varied over ranges or lists, on every core");
  sweep->footer(kStudyStatus);
  add_sweep_options(*sweep, sweep_options, "sweep.csv",
                    "Vary NAME over FROM:TO:STEP or the list V1,V2,... (repeatable; the cases are "
                    "all combinations, the first --vary varying slowest)");
  sweep
      ->add_option("--save", sweep_options.save_dir,
                   "Keep each case's files (report, time histories, case.csv, summary.json) in "
                   "DIR/case-NNNNN/")
      ->type_name("DIR");

  SweepOptions capacity_options;
  CLI::App* capacity = app.add_subcommand(
      "capacity",
      "Load-capacity chart: for each load height the largest stable m_4 and the largest that "
      "does not tip, by a coarse scan and false position on the runs' margin");
  capacity->footer(kStudyStatus);
  add_sweep_options(*capacity, capacity_options, "capacity.csv",
                    "The load height NAME=FROM:TO:STEP or NAME=V1,V2,... (normally zc_4; without "
                    "--vary the base case's own zc_4); a second --vary draws the chart across another parameter, e.g. the load centre "
                    "x_load=0.4:0.8:0.1 (rows: every pair, the height varying slowest)");
  capacity->add_option("--mass", capacity_options.mass, "Mass range searched, kg (default 1:5000)")
      ->type_name("LO:HI");
  add_number(*capacity, "--resolution", capacity_options.resolution,
             "Step of the masses searched, kg (default 1)")
      ->type_name("KG");
  capacity->add_flag("--convergence", capacity_options.convergence,
                     "Search each capacity again with a tenth of tol and h_max and add the shift "
                     "(kg) to the row");

  SweepOptions tilt_options;
  CLI::App* tilt = app.add_subcommand(
      "tilt-test",
      "Tilting-table test: for each load height the forward slope at which the truck, braked and "
      "standing, tips over its front wheels, confirmed by runs held by the brake on either side");
  tilt->footer(kStudyStatus);
  add_sweep_options(*tilt, tilt_options, "tilt.csv",
                    "The load height NAME=FROM:TO:STEP or NAME=V1,V2,... (normally zc_4; without "
                    "--vary the base case's own zc_4)");
  add_number(*tilt, "--require", tilt_options.require,
             "Say for each height whether the truck stands on this forward slope, per cent (e.g. "
             "4 for the stacking test); the status stays 0 either way")
      ->type_name("PCT");
  add_number(*tilt, "--resolution", tilt_options.slope_resolution,
             "Find the critical slope to this many per cent (default 0.01)")
      ->type_name("PCT");
  add_number(*tilt, "--margin", tilt_options.margin,
             "Confirm with runs this many per cent below and above the critical slope (default "
             "0.1)")
      ->type_name("PCT");

  MergeOptions merge_options;
  CLI::App* merge = app.add_subcommand(
      "merge",
      "Put shard outputs of a sweep, capacity chart or tilt test back into one file, after "
      "checking that they are one study's and hold each of its cases once");
  merge->footer("Exit status: 0 when merged; 1 when the files are not shards of one study or a "
                "case is missing or repeated (nothing written), or a file cannot be read or "
                "written; 2 for a usage error.");
  merge->add_option("files", merge_options.files, "Shard files")->required();
  merge->add_option("-o", merge_options.output, "Merged file")->required()->type_name("FILE");
  add_number(*merge, "--cases", merge_options.cases,
             "Check that the merged file holds N cases (catches a shard cut short)")
      ->type_name("N");

  bool columns_json = false;
  CLI::App* columns =
      app.add_subcommand("columns", "List the CSV columns: name, unit, group, meaning");
  columns->footer("Exit status: 0.");
  columns->add_flag("--json", columns_json, "As JSON");

  std::vector<std::string> moved;
  std::vector<std::string> args = subcommand_first(app, argc, argv, moved);
  const std::string subcommand = moved.empty() ? std::string() : args.front();
  std::reverse(args.begin(), args.end());  // CLI11 takes them last first
  // The subcommand a usage error belongs to, for the hint at its own --help.
  auto command = [&app]() -> std::string {
    const auto given = app.get_subcommands();
    return given.empty() ? std::string() : given.front()->get_name();
  };
  try {
    app.parse(std::move(args));
  } catch (const CLI::ExtrasError& e) {
    // An option given before a subcommand that the subcommand does not take: say so.
    for (const std::string& option : moved) {
      if (std::string_view(e.what()).find(option) != std::string_view::npos) {
        return report_usage_error(option + ", given before '" + subcommand +
                                  "', is not an option of " + subcommand + " (see 'liftsim " +
                                  subcommand + " --help')");
      }
    }
    return report_usage_error(e.what(), command());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return report_usage_error(e.what(), command());
  }

  try {
    if (params->parsed()) return params_command(params_options);
    if (columns->parsed()) return columns_command(columns_json);
    if (sweep->parsed()) return sweep_command(sweep_options);
    if (capacity->parsed()) return capacity_command(capacity_options);
    if (tilt->parsed()) return tilt_command(tilt_options);
    if (merge->parsed()) return merge_command(merge_options);
    return run_command(run_options);
  } catch (const UsageError& e) {
    return report_usage_error(e.message, command());
  }
}

}  // namespace liftsim::cli
