// Shared pieces of the command line: usage errors, the run's folder, warnings, text for terminals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/file_check.h"
#include "model/road.h"
#include "params/overrides.h"
#include "run/legs.h"
#include "run/simulation.h"

namespace liftsim::cli {

// Exit status of a usage error: nothing was run and no file was touched.
inline constexpr int kUsageError = 2;

// Thrown for a usage error; the message is for the user.
struct UsageError {
  std::string message;
};

// `text` safe to show on a terminal: control characters (C0, DEL and the C1 range U+0080..U+009F,
// which carry terminal escape sequences) and bytes that are not UTF-8 shown as \xNN, a backslash
// as \\ (unless `keep_backslash`), line feed and tab as \n and \t; letters of any script as they
// are.
std::string escaped(std::string_view text, bool keep_backslash = false);

// `text` with every line ended by CR LF: the line end of everything a run writes to standard
// output and standard error, which its progress lines and error report fix.
std::string crlf_lines(std::string_view text);

// Writes "liftsim: <message>" and a hint to standard error; returns kUsageError.
// The hint names the subcommand's own --help when `command` is one.
int report_usage_error(std::string_view message, std::string_view command = {});

// Options of every command that runs cases: the folder, the values set by name, the road.
struct CaseOptions {
  std::string directory;            // -C
  std::vector<std::string> sets;    // --set NAME=VALUE
  std::string params_file;          // --params FILE
  std::string road_file;            // --road FILE
  std::string drive_file;           // --drive FILE
  std::string brake;                // --brake FILE|hold
  std::optional<int> max_restarts;  // --max-restarts N (0: no work limit; kept for scripts)
  std::optional<std::int64_t> work_limit;  // --work-limit N
  std::string model;                       // --model legacy|sound ("": the command's default)
  bool quiet = false;               // --quiet
  bool warn = false;                // --warn
};

// What the options resolve to, checked before anything runs.
struct ResolvedCase {
  int dir_fd = -1;  // owned by the caller (closed at exit)
  params::Overrides overrides;
  model::Road road;
  model::Drive drive;
  run::RunPlan::Labels labels;
  model::Kind kind = model::Kind::legacy;
  run::WorkLimit work;
  double t_start = 0.0;  // the run's start and end time, s
  double t_end = 0.0;
};

// Reads the parameter file, the --set values and the road profile and opens the folder; throws
// UsageError for anything wrong. `default_kind` is the command's model when --model is not given.
ResolvedCase resolve(const CaseOptions& options, model::Kind default_kind);

// The files the case options name to be read (parameters, road, drive, brake): no output of a
// command may be one of them.
std::vector<NamedFile> case_input_files(const CaseOptions& options);

// Whether warnings go to standard error: on a terminal, or with --warn; never with --quiet.
bool warnings_wanted(const CaseOptions& options);

// The most a parameter file or a road profile may hold.
inline constexpr std::size_t kNamedFileLimit = std::size_t{16} << 20;

// Reads a whole file named on the command line; throws UsageError when it cannot, or when it holds
// more than `limit` bytes (a device or FIFO that never ends is read no further than that).
std::string read_named_file(const std::string& path, std::string_view what,
                            std::size_t limit = SIZE_MAX);

}  // namespace liftsim::cli
