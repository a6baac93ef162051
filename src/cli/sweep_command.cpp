#include "cli/sweep_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "cli/html_pages.h"
#include "cli/interrupt.h"
#include "params/text.h"
#include "run/input.h"
#include "sweep/axes.h"
#include "sweep/capacity.h"
#include "sweep/case_run.h"
#include "sweep/ordered_runner.h"
#include "sweep/sweep_file.h"
#include "textio/buffered_file.h"
#include "textio/files.h"

namespace liftsim::cli {
namespace {

// The largest dani.dat a sweep reads: far beyond 43 short records.
constexpr std::size_t kLargestInput = 1 << 20;

// dani.dat of the folder, whole; the run-time report values when it cannot be read.
std::string read_input(int dir_fd) {
  install_interrupt_handlers();
  auto interrupted = [] {
    if (const int signal = interrupt_signal().load(); signal != 0) {
      throw textio::RunFailure(textio::interrupted_error(signal));
    }
  };
  const int fd = ::openat(dir_fd, "dani.dat", O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == EINTR) interrupted();
  if (fd < 0) {
    textio::fail(errno == ENOENT ? textio::ErrorCode::F6416 : textio::ErrorCode::F6414,
                 textio::Statement::open, "dani.dat",
                 std::string("cannot open dani.dat: ") + std::strerror(errno));
  }
  std::string text;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) {
      if (interrupt_signal().load() != 0) ::close(fd);
      interrupted();
      continue;
    }
    if (n < 0) {
      const int e = errno;
      ::close(fd);
      textio::fail(textio::ErrorCode::F6500, textio::Statement::read, "dani.dat",
                   std::string("read failure: ") + std::strerror(e));
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > kLargestInput) break;  // 43 records never come near; the rest is unread
  }
  ::close(fd);
  return text;
}

struct Prepared {
  sweep::BaseCase base;
  sweep::Shard shard;
  int threads = 1;
};

// Everything checked before any file is touched; throws UsageError.
Prepared prepare(const SweepOptions& o, std::vector<sweep::Axis>& axes) {
  if (o.vary.empty()) throw UsageError{"--vary NAME=... is needed at least once"};
  for (const std::string& v : o.vary) {
    sweep::Axis axis;
    if (auto bad = sweep::parse_axis(v, axis)) throw UsageError{"--vary: " + bad->message};
    for (const sweep::Axis& a : axes) {
      if (a.param == axis.param) {
        throw UsageError{"--vary: " + std::string(axis.param->name) + " is varied twice"};
      }
    }
    axes.push_back(std::move(axis));
  }
  Prepared p;
  if (!o.shard.empty()) {
    if (auto bad = sweep::parse_shard(o.shard, p.shard)) throw UsageError{bad->message};
  }
  if (o.jobs < 0) throw UsageError{"--jobs must be 1 or more (0: every core)"};
  p.threads = o.jobs > 0 ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
  if (!(std::isfinite(o.slide_limit) && o.slide_limit >= 0.0)) {
    throw UsageError{"--slide-limit must be a finite length >= 0 (m)"};
  }
  if (!std::isfinite(o.lift_force)) throw UsageError{"--lift-force must be a finite force (N)"};
  return p;
}

// Reads the base case; a run-time failure (a missing or broken dani.dat) is reported as a run's.
std::optional<textio::RunError> load_base(const SweepOptions& o, Prepared& p,
                                          const std::vector<sweep::Axis>& axes) {
  ResolvedCase rc = resolve(o.case_options, model::Kind::sound);
  p.base.overrides = std::move(rc.overrides);
  p.base.road = std::move(rc.road);
  p.base.kind = rc.kind;
  p.base.work = rc.work;
  p.base.thresholds = {o.slide_limit, o.lift_force};
  p.base.stop_when_decided = o.stop_when_decided;
  if (auto bad = sweep::check_cases(p.base, axes)) {
    if (rc.dir_fd >= 0) ::close(rc.dir_fd);
    throw UsageError{bad->message};
  }
  try {
    p.base.input_text = read_input(rc.dir_fd);
    if (rc.dir_fd >= 0) ::close(rc.dir_fd);
    // Every case reads the same records: a broken file is reported once, here.
    std::size_t position = 0;
    params::CaseValues values = params::built_in_case();
    run::read_case(run::memory_source(p.base.input_text, position), "dani.dat", p.base.overrides,
                   values, {});
  } catch (const textio::RunFailure& failure) {
    if (rc.dir_fd >= 0) ::close(rc.dir_fd);
    return failure.error();
  }
  return std::nullopt;
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

std::string read_whole(const std::string& path) {
  return read_named_file(path, "file");
}

// Streams the rows of `jobs` (after those a resumed file already holds) to `output`.
int run_jobs(const SweepOptions& o, const Prepared& p, const std::string& header,
             const std::vector<std::int64_t>& jobs, const std::string& default_output,
             const char* what, const std::function<std::string(std::int64_t)>& work) {
  const std::string output = o.output.empty() ? default_output : o.output;
  std::int64_t already = 0;
  textio::BufferedFile file;
  try {
    if (o.resume) {
      if (output == "-") throw UsageError{"--resume needs an output file, not standard output"};
      std::string text;
      struct stat info {};
      if (::stat(output.c_str(), &info) == 0) text = read_whole(output);
      if (!text.empty()) {
        sweep::Resumable r;
        if (auto bad = sweep::check_resumable(text, header, jobs, r)) {
          throw UsageError{"--resume: " + output + ": " + bad->message};
        }
        already = r.rows;
        if (::truncate(output.c_str(), static_cast<off_t>(r.bytes)) != 0) {
          throw UsageError{"--resume: cannot cut " + output + ": " + std::strerror(errno)};
        }
      }
      file.open_append(output);
      if (text.empty()) {
        file.buffer() = header;
        file.end_record();
      }
    } else {
      file.open(output);
      file.buffer() = header;
      file.end_record();
    }
    file.flush();
  } catch (const textio::RunFailure& failure) {
    textio::write_all(STDERR_FILENO, textio::report_text(failure.error()));
    return 1;
  }

  install_interrupt_handlers();
  const bool show = !o.case_options.quiet && ::isatty(STDERR_FILENO) == 1;
  Progress progress(show, static_cast<std::int64_t>(jobs.size()), what);
  progress.start_at(already);
  const std::vector<std::int64_t> todo(jobs.begin() + already, jobs.end());
  std::int64_t written = already;
  std::optional<textio::RunError> error;
  try {
    sweep::run_ordered(todo, work,
                       [&](std::int64_t, const std::string& row) {
                         file.buffer() += row;
                         file.end_record();
                         file.flush();  // each case's row is in the file as soon as it is known
                         ++written;
                         progress.update(written);
                       },
                       {p.threads, &interrupt_signal()});
    file.close();
  } catch (const textio::RunFailure& failure) {
    error = failure.error();
  }
  progress.finish();
  if (error) {
    textio::write_all(STDERR_FILENO, textio::report_text(*error));
    return 1;
  }
  if (const int signal = interrupt_signal().load(); signal != 0) {
    const std::string message = "liftsim: interrupted by " + std::string(signal_name(signal)) +
                                " after " + std::to_string(written) + " of " +
                                std::to_string(jobs.size()) + " " + what + "; " + output +
                                " holds them; continue with --resume\n";
    textio::write_all(STDERR_FILENO, message);
    return 128 + signal;
  }
  return 0;
}

// The page from the result file as it now stands (resumed rows included).
int write_page(const SweepOptions& o, const char* default_output,
               const std::function<void(const std::string&)>& write) {
  const std::string output = o.output.empty() ? default_output : o.output;
  if (output == "-") throw UsageError{"--html needs the results in a file, not standard output"};
  try {
    write(read_whole(output));
  } catch (const textio::RunFailure& failure) {
    textio::write_all(STDERR_FILENO, textio::report_text(failure.error()));
    return 1;
  }
  return 0;
}

std::vector<std::int64_t> shard_jobs(std::int64_t total, const sweep::Shard& shard) {
  std::vector<std::int64_t> jobs;
  for (std::int64_t i = 0; i < total; ++i) {
    if (shard.contains(i)) jobs.push_back(i);
  }
  return jobs;
}

}  // namespace

int sweep_command(const SweepOptions& o) {
  std::vector<sweep::Axis> axes;
  Prepared p = prepare(o, axes);
  const sweep::CaseGrid grid(axes);
  if (grid.size() > sweep::kMostCases) {
    throw UsageError{"--vary: more than " + std::to_string(sweep::kMostCases) + " cases"};
  }
  if (auto error = load_base(o, p, axes)) {
    textio::write_all(STDERR_FILENO, textio::report_text(*error));
    return error->code == textio::ErrorCode::S6600 ? 128 + interrupt_signal().load() : 1;
  }
  if (!o.save_dir.empty() && ::mkdir(o.save_dir.c_str(), 0777) != 0 && errno != EEXIST) {
    throw UsageError{"--save: cannot create folder '" + o.save_dir + "': " + std::strerror(errno)};
  }
  const auto jobs = shard_jobs(grid.size(), p.shard);
  const int digits = std::max<int>(5, static_cast<int>(std::to_string(grid.size()).size()));
  auto work = [&](std::int64_t index) {
    std::vector<double> values;
    grid.values(index, values);
    std::vector<params::Assignment> varied;
    for (std::size_t k = 0; k < axes.size(); ++k) varied.push_back({axes[k].param, values[k]});
    std::string save;
    if (!o.save_dir.empty()) {
      std::string number = std::to_string(index);
      number.insert(
          0, static_cast<std::size_t>(std::max(0, digits - static_cast<int>(number.size()))), '0');
      save = o.save_dir + "/case-" + number;
    }
    return sweep::sweep_row(index, values, sweep::run_case(p.base, varied, save));
  };
  const int status = run_jobs(o, p, sweep::sweep_header(axes), jobs, "sweep.csv", "cases", work);
  if (status != 0 || o.html_file.empty()) return status;
  return write_page(o, "sweep.csv", [&](const std::string& text) {
    write_sweep_html(o.html_file, "liftsim sweep", axes, text, p.base.overrides);
  });
}

int capacity_command(const SweepOptions& o) {
  std::vector<sweep::Axis> axes;
  Prepared p = prepare(o, axes);
  if (axes.size() != 1) throw UsageError{"capacity takes one --vary: the load height"};
  const sweep::Axis& heights = axes[0];
  if (heights.param->name == "m_4") throw UsageError{"capacity searches m_4; vary the height"};
  sweep::MassRange range;
  {
    const auto colon = o.mass.find(':');
    double lo = 0, hi = 0;
    const std::string_view mass = o.mass;
    if (colon == std::string::npos || !params::parse_decimal(mass.substr(0, colon), lo) ||
        !params::parse_decimal(mass.substr(colon + 1), hi) || !(lo > 0.0) || !(hi > lo) ||
        !std::isfinite(hi)) {
      throw UsageError{"--mass LO:HI needs 0 < LO < HI (kg)"};
    }
    if (!(std::isfinite(o.resolution) && o.resolution > 0.0) || (hi - lo) / o.resolution > 1e9) {
      throw UsageError{"--resolution must be a mass > 0 (kg), at most a billionth of the range"};
    }
    range = {lo, hi, o.resolution};
  }
  if (auto error = load_base(o, p, axes)) {
    textio::write_all(STDERR_FILENO, textio::report_text(*error));
    return error->code == textio::ErrorCode::S6600 ? 128 + interrupt_signal().load() : 1;
  }
  const auto jobs = shard_jobs(static_cast<std::int64_t>(heights.values.size()), p.shard);
  auto work = [&](std::int64_t index) {
    const double h = heights.values[static_cast<std::size_t>(index)];
    sweep::CapacityOptions options;
    options.convergence = o.convergence;
    options.stop = &interrupt_signal();
    return sweep::capacity_row(
        index, sweep::find_capacity(p.base, *heights.param, h, range, options), o.convergence);
  };
  const int status = run_jobs(o, p, sweep::capacity_header(*heights.param, o.convergence), jobs,
                              "capacity.csv", "heights", work);
  if (status != 0 || o.html_file.empty()) return status;
  return write_page(o, "capacity.csv", [&](const std::string& text) {
    write_capacity_html(o.html_file, "liftsim capacity", heights, text, p.base.overrides);
  });
}

int merge_command(const MergeOptions& o) {
  if (o.files.empty()) throw UsageError{"merge needs the shard files"};
  if (o.output.empty()) throw UsageError{"merge needs -o FILE"};
  std::vector<std::string> texts;
  for (const std::string& f : o.files) texts.push_back(read_named_file(f, "shard file"));
  std::string merged;
  if (o.cases && *o.cases < 0) throw UsageError{"--cases must be 0 or more"};
  if (auto bad = sweep::merge_files(texts, o.files, merged, o.cases)) {
    throw UsageError{bad->message};
  }
  try {
    textio::BufferedFile out;
    out.open(o.output);
    out.buffer() = std::move(merged);
    out.end_record();
    out.close();
  } catch (const textio::RunFailure& failure) {
    textio::write_all(STDERR_FILENO, textio::report_text(failure.error()));
    return 1;
  }
  return 0;
}

}  // namespace liftsim::cli
