#include "cli/sweep_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

#include "cli/file_check.h"
#include "cli/html_pages.h"
#include "cli/interrupt.h"
#include "cli/result_file.h"
#include "params/text.h"
#include "sweep/provenance.h"
#include "sweep/study.h"
#include "sweepfile/format.h"
#include "sweepfile/stored.h"
#include "textio/files.h"

#ifndef LIFTSIM_VERSION
#define LIFTSIM_VERSION "unknown"
#endif

namespace liftsim::cli {
namespace {

// The run folder's descriptor, closed with its owner.
struct Folder {
  int fd = AT_FDCWD;
  Folder() = default;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() {
    if (fd >= 0) ::close(fd);
  }
};

// A run failure's report, file names and messages made safe for a terminal; the exit status.
int report(const textio::RunError& error) {
  textio::RunError shown = error;
  shown.file = escaped(shown.file, true);
  shown.message = escaped(shown.message, true);
  textio::write_all(STDERR_FILENO, textio::report_text(shown));
  return error.code == textio::ErrorCode::S6600 ? 128 + interrupt_signal().load() : 1;
}

std::vector<sweep::Axis> parse_axes(const std::vector<std::string>& vary) {
  std::vector<sweep::Axis> axes;
  for (const std::string& v : vary) {
    sweep::Axis axis;
    if (auto bad = sweep::parse_axis(v, axis)) throw UsageError{"--vary: " + bad->message};
    axes.push_back(std::move(axis));
  }
  return axes;
}

// The base case of the options and the shard; the folder stays open in `folder`.
sweep::BaseCase base_case(const SweepOptions& o, Folder& folder, sweep::Shard& shard) {
  if (!o.shard.empty()) {
    if (auto bad = sweep::parse_shard(o.shard, shard)) throw UsageError{bad->message};
  }
  ResolvedCase rc = resolve(o.case_options, model::Kind::sound);
  folder.fd = rc.dir_fd;
  sweep::BaseCase base;
  base.overrides = std::move(rc.overrides);
  base.road = std::move(rc.road);
  base.kind = rc.kind;
  base.drive = std::move(rc.drive);
  base.work = rc.work;
  base.thresholds = {o.slide_limit, o.lift_force};
  base.stop_when_decided = o.stop_when_decided;
  return base;
}

// Without --vary a chart or tilt test is of the base case's own load height. A dani.dat that
// cannot be read gives the height 0 here and is reported as the study starts, as with --vary.
sweep::Axis base_height(const sweep::BaseCase& base, int dir_fd) {
  const params::Param* height = params::find_param("zc_4");
  sweep::BaseCase probe;
  probe.overrides = base.overrides;
  params::CaseValues values;
  double zc_4 = 0.0;
  if (!sweep::read_input_file(dir_fd, &interrupt_signal(), probe.input_text) &&
      !sweep::base_values(probe, values)) {
    zc_4 = params::get(*height, values);
  }
  return sweep::Axis{height, {zc_4}};
}

// The result file, the page and the case folders against each other and against every file the
// study reads (dani.dat, --params, --road, --drive, --brake): a usage error before anything runs.
void check_outputs(const SweepOptions& o, const std::string& output, int dir_fd) {
  std::vector<NamedFile> outputs{named("-o", output)}, inputs;
  outputs.back().standard_output = output == "-";
  if (!o.html_file.empty()) outputs.push_back(named("--html", o.html_file));
  if (!o.save_dir.empty()) {
    // A folder: compared by its place, its own checks are the library's (check_save_folder).
    outputs.push_back(named("--save", o.save_dir));
    outputs.back().own = true;
  }
  inputs.push_back({"dani.dat", "dani.dat", dir_fd});
  for (NamedFile& f : case_input_files(o.case_options)) inputs.push_back(std::move(f));
  if (auto conflict = first_conflict(outputs, inputs)) throw UsageError{*conflict};
  if (o.resume && output == "-") {
    throw UsageError{"--resume needs an output file, not standard output"};
  }
}

// The base values and the file's head; a broken dani.dat is a run failure (nullopt, reported).
std::optional<std::vector<std::string>> read_base(sweep::BaseCase& base, int dir_fd,
                                                  const sweepfile::Study& study,
                                                  const std::vector<const params::Param*>& varied,
                                                  int& status, sweep::BaseFacts& facts) {
  params::CaseValues values, plain;
  auto failure = sweep::read_input_file(dir_fd, &interrupt_signal(), base.input_text);
  // Every case reads the same records: a broken file is reported once, here.
  if (!failure) failure = sweep::base_values(base, values, &plain);
  if (failure) {
    status = report(*failure);
    return std::nullopt;
  }
  facts = sweep::base_facts(base, values, plain, varied);
  return sweepfile::head_lines(study, facts);
}

// Progress on a terminal: done/total, cases per second, time left.
class Progress {
 public:
  Progress(bool on, std::int64_t total, const char* what) : on_(on), total_(total), what_(what) {}
  void update(std::int64_t done) {
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    if (done < total_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done - first_) / seconds : 0.0;
    const int width = 30;
    const int filled = total_ > 0 ? static_cast<int>(width * done / total_) : width;
    char line[160];
    std::snprintf(line, sizeof line, "\r[%-*s] %lld/%lld %s, %.1f/s, %.0f s left ", width,
                  std::string(static_cast<std::size_t>(filled), '#').c_str(),
                  static_cast<long long>(done), static_cast<long long>(total_), what_, rate,
                  rate > 0 ? static_cast<double>(total_ - done) / rate : 0.0);
    textio::write_all(STDERR_FILENO, line);
  }
  void start_at(std::int64_t done) { first_ = done; }
  void finish() {
    if (on_) textio::write_all(STDERR_FILENO, "\n");
  }

 private:
  bool on_;
  std::int64_t total_;
  const char* what_;
  std::int64_t first_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

// Opens the result file (continued with --resume), runs the study through `run` with the rows
// written as they come, and says how it ended. `page` writes the page once every row is in.
int run_study(const SweepOptions& o, const std::string& output,
              const std::vector<std::string>& head, const sweepfile::Study& study,
              std::int64_t rows, const char* what,
              const std::function<void(sweepfile::ReadRow&)>& kept,
              const std::function<sweep::StudyEnd(ResultFile&, Progress&)>& run,
              const std::function<void()>& page) {
  ResultFile file;
  auto failure = file.open(output, o.resume);
  if (!failure) {
    failure = o.resume ? file.resume(head, study, kept, &interrupt_signal()) : file.start(head);
  }
  if (failure) return report(*failure);

  const bool show = !o.case_options.quiet && ::isatty(STDERR_FILENO) == 1;
  Progress progress(show, rows, what);
  progress.start_at(file.kept_rows());
  sweep::StudyEnd end = run(file, progress);
  progress.finish();
  if (!end.error) {
    try {
      file.close();
    } catch (const textio::RunFailure& f) {
      end.error = f.error();
    }
  }
  if (end.error) return report(*end.error);
  const std::string where = output == "-" ? "standard output" : output;
  if (const int signal = interrupt_signal().load(); signal != 0) {
    std::string message = "liftsim: " + std::string(signal_name(signal));
    if (end.stopped) {
      message +=
          " stopped the run after " + std::to_string(end.done) + " of " + std::to_string(rows) +
          " " + what + "; " + where +
          (end.done == 0 ? " holds its head and no row yet" : " holds their rows, each one whole") +
          (output == "-" ? "" : "; the same command with --resume runs the rest") + "\n";
      textio::write_all(STDERR_FILENO, message);
      return 128 + signal;
    }
    message += " came after the last of the " + std::to_string(rows) + " " + what + "; " + where +
               " is complete\n";
    textio::write_all(STDERR_FILENO, message);
  }
  if (o.html_file.empty()) return 0;
  try {
    page();
  } catch (const textio::RunFailure& f) {
    return report(f.error());
  }
  return 0;
}

std::vector<const params::Param*> params_of(const std::vector<sweep::Axis>& axes) {
  std::vector<const params::Param*> out;
  for (const sweep::Axis& a : axes) out.push_back(a.param);
  return out;
}

}  // namespace

int sweep_command(const SweepOptions& o) {
  sweep::SweepPlan plan;
  plan.axes = parse_axes(o.vary);
  Folder folder;
  plan.base = base_case(o, folder, plan.shard);
  plan.threads = o.jobs;
  plan.save_dir = o.save_dir;
  plan.stop = &interrupt_signal();
  if (auto bad = sweep::check_sweep(plan)) throw UsageError{bad->message};
  const std::string output = o.output.empty() ? "sweep.csv" : o.output;
  check_outputs(o, output, folder.fd);

  install_interrupt_handlers();
  sweepfile::Study study;
  study.version = LIFTSIM_VERSION;
  study.axes = plan.axes;
  study.shard = plan.shard;
  int status = 0;
  sweep::BaseFacts facts;
  const auto head = read_base(plan.base, folder.fd, study, params_of(plan.axes), status, facts);
  if (!head) return status;

  const std::vector<std::string> columns = sweepfile::columns(study);
  std::vector<html::SweepCase> cells;
  auto keep = [&](const sweep::SweepRow& row) {
    if (o.html_file.empty()) return;
    if (auto cell = sweep_cell(plan.axes, columns, row)) cells.push_back(std::move(*cell));
  };
  const std::int64_t rows = plan.shard.size(sweep::case_count(plan.axes));
  return run_study(
      o, output, *head, study, rows, "cases", [&](sweepfile::ReadRow& r) { keep(r.sweep); },
      [&](ResultFile& file, Progress& progress) {
        std::int64_t done = file.kept_rows();
        return sweep::run_sweep(plan, done, [&](sweep::SweepRow& row) {
          file.write(sweepfile::row_text(sweepfile::sweep_values(row)));
          keep(row);
          progress.update(++done);
        });
      },
      [&] {
        write_sweep_html(o.html_file, "liftsim sweep", plan.axes, std::move(cells), facts);
      });
}

int capacity_command(const SweepOptions& o) {
  sweep::CapacityPlan plan;
  std::vector<sweep::Axis> axes = parse_axes(o.vary);
  if (axes.size() > 2) {
    throw UsageError{"capacity takes one --vary (the load height) or two (then the load centre "
                     "x_load, or another parameter the chart is drawn across)"};
  }
  Folder folder;
  plan.base = base_case(o, folder, plan.shard);
  plan.heights = axes.empty() ? base_height(plan.base, folder.fd) : std::move(axes[0]);
  if (axes.size() == 2) plan.across = std::move(axes[1]);
  {
    const auto colon = o.mass.find(':');
    if (colon == std::string::npos) throw UsageError{"--mass '" + o.mass + "' is not LO:HI"};
    const std::string_view mass = o.mass;
    for (const auto& [part, into] : {std::pair{mass.substr(0, colon), &plan.mass.lo},
                                     std::pair{mass.substr(colon + 1), &plan.mass.hi}}) {
      if (const auto read = params::read_number(part, *into); read != params::NumberRead::ok) {
        throw UsageError{"--mass: " + params::number_problem(part, read)};
      }
    }
    plan.mass.resolution = o.resolution;
  }
  plan.convergence = o.convergence;
  plan.threads = o.jobs;
  plan.stop = &interrupt_signal();
  if (auto bad = sweep::check_capacity(plan)) throw UsageError{bad->message};
  const std::string output = o.output.empty() ? "capacity.csv" : o.output;
  check_outputs(o, output, folder.fd);

  install_interrupt_handlers();
  sweepfile::Study study;
  study.kind = sweepfile::Kind::capacity;
  study.version = LIFTSIM_VERSION;
  study.axes = {plan.heights};
  if (plan.across) study.axes.push_back(*plan.across);
  study.shard = plan.shard;
  study.mass = plan.mass;
  study.convergence = plan.convergence;
  int status = 0;
  std::vector<const params::Param*> varied{plan.heights.param, params::find_param("m_4")};
  if (plan.across) varied.push_back(plan.across->param);
  sweep::BaseFacts facts;
  const auto head = read_base(plan.base, folder.fd, study, varied, status, facts);
  if (!head) return status;

  std::vector<sweep::CapacityRow> page_rows;
  auto keep = [&](const sweep::CapacityRow& row) {
    if (!o.html_file.empty()) page_rows.push_back(row);
  };
  const std::int64_t rows = plan.shard.size(sweep::capacity_rows(plan));
  return run_study(
      o, output, *head, study, rows, "heights", [&](sweepfile::ReadRow& r) { keep(r.capacity); },
      [&](ResultFile& file, Progress& progress) {
        std::int64_t done = file.kept_rows();
        return sweep::run_capacity(plan, done, [&](std::int64_t index, sweep::CapacityRow& row) {
          file.write(sweepfile::row_text(sweepfile::capacity_values(index, row, plan.convergence)));
          keep(row);
          progress.update(++done);
        });
      },
      [&] {
        write_capacity_html(o.html_file, "liftsim capacity", plan.heights, plan.across, page_rows,
                            facts);
      });
}

int tilt_command(const SweepOptions& o) {
  sweep::TiltPlan plan;
  std::vector<sweep::Axis> axes = parse_axes(o.vary);
  if (axes.size() > 1) throw UsageError{"tilt-test takes one --vary: the load height"};
  Folder folder;
  plan.base = base_case(o, folder, plan.shard);
  plan.heights = axes.empty() ? base_height(plan.base, folder.fd) : std::move(axes[0]);
  plan.options.resolution = o.slope_resolution;
  plan.options.margin = o.margin;
  plan.options.require = o.require;
  plan.threads = o.jobs;
  plan.stop = &interrupt_signal();
  if (auto bad = sweep::check_tilt(plan)) throw UsageError{bad->message};
  const std::string output = o.output.empty() ? "tilt.csv" : o.output;
  check_outputs(o, output, folder.fd);

  install_interrupt_handlers();
  sweepfile::Study study;
  study.kind = sweepfile::Kind::tilt;
  study.version = LIFTSIM_VERSION;
  study.axes = {plan.heights};
  study.shard = plan.shard;
  study.tilt = plan.options;
  int status = 0;
  sweep::BaseFacts facts;
  const auto head =
      read_base(plan.base, folder.fd, study,
                {plan.heights.param, params::find_param("slope"), params::find_param("v_0")},
                status, facts);
  if (!head) return status;

  std::vector<sweep::TiltRow> page_rows;
  auto keep = [&](const sweep::TiltRow& row) {
    if (!o.html_file.empty()) page_rows.push_back(row);
  };
  const std::int64_t rows = plan.shard.size(static_cast<std::int64_t>(plan.heights.values.size()));
  return run_study(
      o, output, *head, study, rows, "heights", [&](sweepfile::ReadRow& r) { keep(r.tilt); },
      [&](ResultFile& file, Progress& progress) {
        std::int64_t done = file.kept_rows();
        return sweep::run_tilt(plan, done, [&](std::int64_t index, sweep::TiltRow& row) {
          file.write(sweepfile::row_text(sweepfile::tilt_values(index, row)));
          keep(row);
          progress.update(++done);
        });
      },
      [&] {
        write_tilt_html(o.html_file, "liftsim tilt-test", plan.heights, plan.options.require,
                        page_rows, facts);
      });
}

int merge_command(const MergeOptions& o) {
  if (o.files.empty()) throw UsageError{"merge needs the shard files"};
  if (o.output.empty()) throw UsageError{"merge needs -o FILE"};
  if (o.cases && *o.cases < 0) throw UsageError{"--cases must be 0 or more"};
  std::vector<NamedFile> outputs{named("-o", o.output)}, inputs;
  outputs.back().standard_output = o.output == "-";
  for (const std::string& f : o.files) inputs.push_back(named("shard file", f));
  if (auto conflict = first_conflict(outputs, inputs)) throw UsageError{*conflict};
  // Checked whole before the output is touched; then merged, reading the files again.
  if (auto bad = sweepfile::merge_files(o.files, o.cases, nullptr)) {
    // What the files hold, not how the command was typed: a failure (status 1), not a usage error.
    textio::write_all(STDERR_FILENO, "liftsim: merge: " + escaped(*bad) + "\n");
    return 1;
  }
  ResultFile file;
  if (auto failure = file.open(o.output, false)) return report(*failure);
  if (auto failure = file.start({})) return report(*failure);
  try {
    if (auto bad = sweepfile::merge_files(
            o.files, o.cases, [&](std::string_view bytes) { file.write(bytes, false); })) {
      // The files changed since they were checked.
      textio::write_all(STDERR_FILENO, "liftsim: merge: " + escaped(*bad) + "\n");
      return 1;
    }
    file.close();
  } catch (const textio::RunFailure& failure) {
    return report(failure.error());
  }
  return 0;
}

}  // namespace liftsim::cli
