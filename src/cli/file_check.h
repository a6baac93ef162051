// The files a command will write, checked against each other and against what it reads before it
// does any work.
#pragma once

#include <fcntl.h>

#include <optional>
#include <string>
#include <vector>

namespace liftsim::cli {

// A file a command names.
struct NamedFile {
  std::string label;      // how messages name it: "--csv 'x.csv'", "the run's result.rez"
  std::string path;       // relative to `dir_fd` unless absolute
  int dir_fd = AT_FDCWD;  // not owned
  // A file of the run's folder (its input or its report and time histories): the run refuses at
  // its OPEN one that is the same file as another of its own, so only the files named on the
  // command line are checked against it, and its folder is the run's business.
  bool own = false;
  bool standard_output = false;  // "-": the bytes go to standard output, not to a file
};

// A file named on the command line by `option`.
NamedFile named(const std::string& option, const std::string& path, int dir_fd = AT_FDCWD);

// The first reason the outputs cannot be written as named, in words that name the file or both
// files; nullopt when there is none. Refused: an output that is the same file as another output or
// as an input, whether by the same path, another path to it, or a link (hard or symbolic, also one
// that points to a file yet to be made); two outputs on standard output; an output that is a
// folder, or that cannot be written, or whose folder does not exist or cannot be written in.
// Devices and FIFOs (/dev/null, a terminal) may be shared. Looks only: nothing is created or
// changed.
std::optional<std::string> first_conflict(const std::vector<NamedFile>& outputs,
                                          const std::vector<NamedFile>& inputs);

// The files of a run in the folder `dir_fd`: the input dani.dat, and as outputs the report, the
// unused statica.dat, the 22 time histories and standard output, which carries the progress lines.
// The progress lines go to standard error instead when `progress_on_stderr`.
std::vector<NamedFile> run_outputs(int dir_fd, bool progress_on_stderr);
NamedFile run_input(int dir_fd);

}  // namespace liftsim::cli
