// Ctrl-C and friends: SIGINT, SIGTERM and SIGHUP ask the running command to stop at a clean point.
#pragma once

#include <atomic>

#include "textio/run_error.h"

namespace liftsim::cli {

// Installs the handlers (once); from then on the signals only set the flag below.
void install_interrupt_handlers();

// The number of the first of those signals received, 0 while none has come. The library's runs
// and the sweeps poll it and stop where their files are whole.
const std::atomic<int>& interrupt_signal();

// "SIGINT", "SIGTERM", "SIGHUP" (or "signal N"): the names the run's reports use.
using textio::signal_name;

}  // namespace liftsim::cli
