// The liftsim command line: subcommands, their options, and what each one runs.
#pragma once

namespace liftsim::cli {

// Parses the arguments and runs the command; returns the process's exit status: 0 success,
// 1 a run that ended with an error report, 2 a usage error (no file touched).
int main_with_args(int argc, char** argv);

}  // namespace liftsim::cli
