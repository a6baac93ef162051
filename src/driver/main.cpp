// Entry point of the liftsim executable.
#include "driver/cli.h"

int main(int argc, char** argv) {
  return liftsim::driver::main_with_args(argc, argv);
}
