// Entry point of the liftsim executable.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>

#include "cli/app.h"

namespace {

// Descriptors 0, 1 and 2 open before any file is: a run's file would otherwise land on a closed
// one and receive the progress lines or the error report. A closed one gets /dev/null, or where
// that cannot be opened a descriptor that refuses every write.
bool open_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened < 0) opened = ::open("/", O_RDONLY | O_DIRECTORY);
    if (opened != fd) return false;  // the lowest free descriptor is this one
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!open_standard_descriptors()) return 1;
  // A reader that went away or the file-size limit fail the write that meets them, which then
  // ends the run with its report, instead of ending the process without a word.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  try {
    return liftsim::cli::main_with_args(argc, argv);
  } catch (const std::exception& e) {
    // A fault of the program itself, never of the input: say so instead of aborting.
    std::fprintf(stderr, "liftsim: internal error: %s\n", e.what());
    return 1;
  }
}
