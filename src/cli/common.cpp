#include "cli/common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "params/road_profile.h"
#include "params/series.h"
#include "textio/codepage.h"
#include "textio/files.h"

namespace liftsim::cli {

namespace {

// The length of the UTF-8 sequence at the start of `text` when it is well formed and not a C1
// control character (U+0080..U+009F, encoded C2 80..C2 9F, which terminals take as escapes too);
// 0 otherwise.
std::size_t printable_sequence(std::string_view text) {
  const std::size_t length = textio::utf8_length(text);
  if (length == 2 && static_cast<unsigned char>(text[0]) == 0xC2 &&
      static_cast<unsigned char>(text[1]) <= 0x9F) {
    return 0;
  }
  return length;
}

void append_hex(std::string& out, unsigned char byte) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\x%02X", byte);
  out += hex;
}

}  // namespace

std::string escaped(std::string_view text, bool keep_backslash) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += keep_backslash ? "\\" : "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      append_hex(out, byte);
    } else if (byte >= 0x80) {
      // Letters of any script pass; C1 controls and bytes that are not UTF-8 are shown.
      if (const std::size_t n = printable_sequence(text.substr(i)); n > 0) {
        out.append(text.substr(i, n));
        i += n;
        continue;
      }
      append_hex(out, byte);
    } else {
      out += c;
    }
    ++i;
  }
  return out;
}

std::string crlf_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

int report_usage_error(std::string_view message, std::string_view command) {
  const std::string help = command.empty() ? "liftsim --help" : "liftsim " + std::string(command) + " --help";
  const std::string text =
      "liftsim: " + escaped(message) + "\nTry '" + help + "' for more information.\n";
  textio::write_all(STDERR_FILENO, text);
  return kUsageError;
}

std::string read_named_file(const std::string& path, std::string_view what, std::size_t limit) {
  const auto cannot = [&](int error) {
    return UsageError{"cannot read " + std::string(what) + " '" + path +
                      "': " + std::strerror(error)};
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw cannot(errno);
  std::string text;
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : 0;
      ::close(fd);
      if (error != 0) throw cannot(error);
      return text;
    }
    if (static_cast<std::size_t>(n) > limit - text.size()) {
      ::close(fd);
      throw UsageError{std::string(what) + " '" + path + "' is larger than " +
                       std::to_string(limit >> 20) + " MiB, the limit for a " + std::string(what)};
    }
    text.append(chunk, static_cast<std::size_t>(n));
  }
}

ResolvedCase resolve(const CaseOptions& options, model::Kind default_kind) {
  ResolvedCase r;
  r.kind = default_kind;
  if (options.model == "sound") {
    r.kind = model::Kind::sound;
  } else if (options.model == "legacy") {
    r.kind = model::Kind::legacy;
  } else if (!options.model.empty()) {
    throw UsageError{"--model '" + options.model + "': use legacy or sound"};
  }
  if (!options.params_file.empty()) {
    const std::string text =
        read_named_file(options.params_file, "parameter file", kNamedFileLimit);
    if (auto bad = params::parse_toml(text, options.params_file, r.overrides)) {
      throw UsageError{bad->message};
    }
  }
  for (const std::string& s : options.sets) {
    params::Overrides one;
    if (auto bad = params::parse_assignment(s, one)) throw UsageError{"--set: " + bad->message};
    r.overrides.add(one);
  }
  // The start and end times as the run will have them.
  params::CaseValues v = params::built_in_case();
  for (const auto& a : r.overrides.list()) a.param->ref(v) = a.value;
  if (auto bad = params::check_case(v)) throw UsageError{bad->message};
  r.t_start = v.prmt[0];
  r.t_end = v.prmt[1];

  if (!options.road_file.empty()) {
    const std::string text = read_named_file(options.road_file, "road profile", kNamedFileLimit);
    if (auto bad = params::parse_road(text, options.road_file, r.road)) {
      throw UsageError{"--road: " + bad->message};
    }
  }
  if (!options.road_file.empty()) r.labels.road = "profile " + options.road_file;
  if (options.drive_file == "off") {
    r.drive.torque = model::TimeSeries({{0.0, 0.0}});
    r.labels.drive = "off";
  } else if (!options.drive_file.empty()) {
    const std::string text = read_named_file(options.drive_file, "drive torque");
    if (auto bad = params::parse_series(text, options.drive_file, false, r.drive.torque)) {
      throw UsageError{"--drive: " + bad->message};
    }
    r.labels.drive = "torque from " + options.drive_file;
  }
  if (options.brake == "hold") {
    r.drive.hold = true;
    r.labels.brake = "hold";
  } else if (!options.brake.empty()) {
    const std::string text = read_named_file(options.brake, "brake torque limit");
    if (auto bad = params::parse_series(text, options.brake, true, r.drive.brake)) {
      throw UsageError{"--brake: " + bad->message};
    }
    r.labels.brake = "limit from " + options.brake;
  }
  if (options.max_restarts) {
    if (*options.max_restarts < 0) throw UsageError{"--max-restarts must be 0 (no limit) or more"};
    if (*options.max_restarts == 0) r.work.derivative_calls = 0;
  }
  if (options.work_limit) {
    if (*options.work_limit < 0) throw UsageError{"--work-limit must be 0 (no limit) or more"};
    if (options.max_restarts && (*options.max_restarts == 0) != (*options.work_limit == 0)) {
      throw UsageError{"--max-restarts and --work-limit disagree; give --work-limit alone"};
    }
    r.work.derivative_calls = *options.work_limit;
  }
  if (options.directory.empty()) {
    r.dir_fd = AT_FDCWD;
  } else {
    r.dir_fd = ::open(options.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (r.dir_fd < 0) {
      throw UsageError{"cannot run in folder '" + options.directory + "': " + std::strerror(errno)};
    }
  }
  return r;
}

std::vector<NamedFile> case_input_files(const CaseOptions& options) {
  std::vector<NamedFile> files;
  if (!options.params_file.empty()) files.push_back(named("--params", options.params_file));
  if (!options.road_file.empty()) files.push_back(named("--road", options.road_file));
  if (!options.drive_file.empty() && options.drive_file != "off") {
    files.push_back(named("--drive", options.drive_file));
  }
  if (!options.brake.empty() && options.brake != "hold") {
    files.push_back(named("--brake", options.brake));
  }
  return files;
}

bool warnings_wanted(const CaseOptions& options) {
  if (options.quiet) return false;
  return options.warn || ::isatty(STDERR_FILENO) == 1;
}

}  // namespace liftsim::cli
