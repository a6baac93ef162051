// Command line of the liftsim executable: options, usage and the working directory of the run.
#pragma once

namespace liftsim::driver {

// Exit status of a usage error (an unknown option, a missing or unusable folder).
inline constexpr int kUsageError = 2;

// Interprets the arguments and either prints help or version (status 0), reports a usage error
// (status 2) or runs the simulation (status 0 or 1). No file is touched unless the run starts.
int main_with_args(int argc, char** argv);

}  // namespace liftsim::driver
