#include "sweep/case_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "results/csv_writer.h"
#include "results/summary_text.h"
#include "run/input.h"
#include "run/simulation.h"
#include "textio/buffered_file.h"

namespace liftsim::sweep {
namespace {

// The OPEN report's code for an error number of open or mkdir.
textio::ErrorCode open_code(int error) {
  if (error == EMFILE || error == ENFILE) return textio::ErrorCode::F6417;
  if (error == ENOENT || error == ENOTDIR) return textio::ErrorCode::F6416;
  return textio::ErrorCode::F6414;
}

bool stopped(const std::atomic<int>* stop) {
  return stop != nullptr && stop->load() != 0;
}

}  // namespace

std::optional<textio::RunError> read_input_file(int dir_fd, const std::atomic<int>* stop,
                                                std::string& text) {
  text.clear();
  const auto interrupted_now = [stop]() -> std::optional<textio::RunError> {
    if (stopped(stop)) return textio::interrupted_error(stop->load());
    return std::nullopt;
  };
  int fd = -1;
  do {
    fd = ::openat(dir_fd, "dani.dat", O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == EINTR) {
      if (auto i = interrupted_now()) return i;
    }
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error = errno;
    return textio::RunError{open_code(error), textio::Statement::open, "dani.dat",
                            std::string("cannot open dani.dat: ") + std::strerror(error)};
  }
  char buf[65536];
  std::optional<textio::RunError> failure;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) {
      if ((failure = interrupted_now())) break;
      continue;
    }
    if (n < 0) {
      failure = textio::RunError{textio::ErrorCode::F6500, textio::Statement::read, "dani.dat",
                                 std::string("read failure: ") + std::strerror(errno)};
      break;
    }
    if (n == 0) break;
    if (static_cast<std::size_t>(n) > kLargestInput - text.size()) {
      // Refused whole rather than cut: a cut file would read as a missing record.
      failure = textio::RunError{
          textio::ErrorCode::F6500, textio::Statement::read, "dani.dat",
          "dani.dat holds more than " + std::to_string(kLargestInput) +
              " bytes (4 MiB); a run reads 43 records of at most 64 KiB, so this is not a case "
              "file"};
      break;
    }
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (failure) text.clear();
  return failure;
}

std::optional<textio::RunError> base_values(const BaseCase& base, params::CaseValues& values,
                                            params::CaseValues* plain) {
  values = params::built_in_case();
  std::size_t position = 0;
  run::InputNotes notes;
  try {
    run::read_case(run::memory_source(base.input_text, position), "dani.dat", base.overrides,
                   values, {}, &notes);
  } catch (const textio::RunFailure& failure) {
    return failure.error();
  }
  if (plain != nullptr) *plain = notes.plain;
  return std::nullopt;
}

std::optional<params::ParseError> check_cases(const BaseCase& base, const std::vector<Axis>& axes) {
  params::CaseValues v = params::built_in_case();
  for (const params::Assignment& a : base.overrides.list()) {
    if (auto bad = params::check_value(*a.param, a.value)) return bad;
    a.param->ref(v) = a.value;
  }
  std::vector<std::pair<double, double>> ends;
  for (const Axis& axis : axes) {
    for (double value : axis.values) {
      if (auto bad = params::check_value(*axis.param, value)) return bad;
    }
    if (axis.values.empty())
      return params::ParseError{std::string(axis.param->name) + " has no values"};
    const auto [lo, hi] = std::minmax_element(axis.values.begin(), axis.values.end());
    ends.emplace_back(*lo, *hi);
  }
  // Every corner of the box of smallest and largest values (a few axes at most).
  const std::size_t corners = std::size_t{1} << std::min<std::size_t>(axes.size(), 16);
  for (std::size_t corner = 0; corner < corners; ++corner) {
    for (std::size_t k = 0; k < axes.size(); ++k) {
      axes[k].param->ref(v) = (corner >> k) & 1 ? ends[k].second : ends[k].first;
    }
    if (auto bad = params::check_case(v)) return bad;
  }
  return std::nullopt;
}

std::optional<params::ParseError> check_save_folder(const std::string& dir) {
  const std::string quoted = "--save '" + dir + "': ";
  if (dir.empty()) return params::ParseError{"--save needs a folder name"};
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) return params::ParseError{quoted + "is not a folder"};
    if (::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
      return params::ParseError{quoted + "cannot create folders in it: " + std::strerror(errno)};
    }
    return std::nullopt;
  }
  if (errno != ENOENT) return params::ParseError{quoted + std::strerror(errno)};
  // A new folder: its parent must be there and take it.
  std::string parent = dir;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  const auto slash = parent.rfind('/');
  parent = slash == std::string::npos ? "." : slash == 0 ? "/" : parent.substr(0, slash);
  if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return params::ParseError{quoted + "the folder '" + parent + "' does not exist"};
  }
  if (::faccessat(AT_FDCWD, parent.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return params::ParseError{quoted + "cannot create it in '" + parent +
                              "': " + std::strerror(errno)};
  }
  return std::nullopt;
}

results::Summary run_case(const BaseCase& base, const std::vector<params::Assignment>& varied,
                          const std::string& save_dir, const std::atomic<int>* stop) {
  run::RunPlan setup;
  setup.legacy_files = false;
  setup.input_text = base.input_text;
  setup.overrides = base.overrides;
  for (const params::Assignment& a : varied) setup.overrides.set(*a.param, a.value);
  setup.road = base.road;
  setup.kind = base.kind;
  setup.drive = base.drive;
  setup.work = base.work;
  setup.stop = stop;
  results::SummaryObserver summary(base.thresholds, base.stop_when_decided);
  setup.observers.push_back(&summary);

  if (save_dir.empty()) return results::summarize(run::simulate(setup), summary);

  // A folder of its own with every file of the case.
  run::RunResult result;
  textio::BufferedFile csv_file;
  std::optional<results::CsvWriter> csv;
  int dir_fd = -1;
  try {
    if (::mkdir(save_dir.c_str(), 0777) != 0 && errno != EEXIST) {
      const int error = errno;
      textio::fail(open_code(error), textio::Statement::open, save_dir,
                   "cannot create folder " + save_dir + ": " + std::strerror(error));
    }
    dir_fd = ::open(save_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0) {
      const int error = errno;
      textio::fail(open_code(error), textio::Statement::open, save_dir,
                   "cannot open folder " + save_dir + ": " + std::strerror(error));
    }
    csv_file.open(save_dir + "/case.csv");
    csv.emplace(&csv_file, std::nullopt);
    setup.observers.push_back(&*csv);
    setup.legacy_files = true;
    setup.dir_fd = dir_fd;
    result = run::simulate(setup);
    csv_file.close();
  } catch (const textio::RunFailure& failure) {
    if (!result.error) {
      result.outcome = run::Outcome::error;
      result.error = failure.error();
    }
  }
  if (dir_fd >= 0) ::close(dir_fd);
  results::Summary s = results::summarize(result, summary);
  if (interrupted(s)) return s;
  try {
    textio::BufferedFile json;
    json.open(save_dir + "/summary.json");
    json.buffer() = results::summary_json(s);
    json.end_record();
    json.close();
  } catch (const textio::RunFailure& failure) {
    // The folder misses a file the case was to leave: the row says so, with the run's figures.
    if (!s.error) {
      s.outcome = run::Outcome::error;
      s.error = failure.error();
    }
  }
  return s;
}

std::optional<results::Verdict> reported_verdict(const results::Summary& s) {
  if (s.outcome == run::Outcome::error && s.error) {
    switch (s.error->statement) {
      case textio::Statement::open:
      case textio::Statement::write:
      case textio::Statement::close:
        return std::nullopt;
      default:
        break;
    }
  }
  return s.verdict;
}

bool interrupted(const results::Summary& s) {
  return s.error && s.error->code == textio::ErrorCode::S6600;
}

}  // namespace liftsim::sweep
