#include "cli/common.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "params/road_profile.h"
#include "textio/files.h"

namespace liftsim::cli {

std::string escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

int report_usage_error(std::string_view message) {
  const std::string text =
      "liftsim: " + escaped(message) + "\nTry 'liftsim --help' for more information.\n";
  textio::write_all(STDERR_FILENO, text);
  return kUsageError;
}

std::string read_named_file(const std::string& path, std::string_view what) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw UsageError{"cannot read " + std::string(what) + " '" + path + "': " +
                     std::strerror(errno)};
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

ResolvedCase resolve(const CaseOptions& options) {
  ResolvedCase r;
  if (!options.params_file.empty()) {
    const std::string text = read_named_file(options.params_file, "parameter file");
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

  if (!options.road_file.empty()) {
    const std::string text = read_named_file(options.road_file, "road profile");
    if (auto bad = params::parse_road(text, options.road_file, r.road)) {
      throw UsageError{"--road: " + bad->message};
    }
  }
  if (options.max_restarts) {
    if (*options.max_restarts < 0) throw UsageError{"--max-restarts must be 0 (no limit) or more"};
    r.restarts.max_stalled = *options.max_restarts;
  }
  if (options.directory.empty()) {
    r.dir_fd = AT_FDCWD;
  } else {
    r.dir_fd = ::open(options.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (r.dir_fd < 0) {
      throw UsageError{"cannot run in folder '" + options.directory + "': " +
                       std::strerror(errno)};
    }
  }
  return r;
}

bool warnings_wanted(const CaseOptions& options) {
  if (options.quiet) return false;
  return options.warn || ::isatty(STDERR_FILENO) == 1;
}

}  // namespace liftsim::cli
