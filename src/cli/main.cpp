// Entry point of the liftsim executable.
#include <cstdio>
#include <exception>

#include "cli/app.h"

int main(int argc, char** argv) {
  try {
    return liftsim::cli::main_with_args(argc, argv);
  } catch (const std::exception& e) {
    // A fault of the program itself, never of the input: say so instead of aborting.
    std::fprintf(stderr, "liftsim: internal error: %s\n", e.what());
    return 1;
  }
}
