#include "driver/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "driver/run.h"

#ifndef LIFTSIM_VERSION
#define LIFTSIM_VERSION "unknown"
#endif

namespace liftsim::driver {
namespace {

constexpr std::string_view kUsage =
    "Usage: liftsim [-C DIR] [--stats]\n"
    "       liftsim --help | --version\n"
    "\n"
    "Simulates the planar dynamics of a lift truck for 0-10 s. Reads dani.dat from the working\n"
    "directory and writes the report result.rez and 22 time-history files (*.rez) beside it;\n"
    "statica.dat is opened and left unchanged. Progress lines go to standard output, error\n"
    "reports to standard error (exit status 1).\n"
    "\n"
    "Options:\n"
    "  -C DIR     run in the folder DIR instead of the current one\n"
    "  --stats    after the run, print integration statistics to standard error\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

void put(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

int usage_error(const std::string& message) {
  put(stderr, "liftsim: " + message + "\nTry 'liftsim --help' for more information.\n");
  return kUsageError;
}

}  // namespace

int main_with_args(int argc, char** argv) {
  const char* directory = nullptr;
  bool stats = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      put(stdout, kUsage);
      return 0;
    }
    if (arg == "--version") {
      put(stdout, "liftsim " LIFTSIM_VERSION "\n");
      return 0;
    }
    if (arg == "--stats") {
      stats = true;
    } else if (arg == "-C") {
      if (i + 1 >= argc) return usage_error("option -C needs a folder");
      directory = argv[++i];
    } else {
      return usage_error("unknown argument '" + std::string(arg) + "'");
    }
  }
  if (directory != nullptr && ::chdir(directory) != 0) {
    return usage_error("cannot run in folder '" + std::string(directory) +
                       "': " + std::strerror(errno));
  }
  run(stats);
}

}  // namespace liftsim::driver
