// Property checks for the fuzz harnesses: a broken property prints its reason and aborts.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace liftsim::fuzz {

// Aborts so that libFuzzer records the input as a crash and the corpus replay fails.
[[noreturn]] inline void broken(const std::string& what) {
  std::fprintf(stderr, "property broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void require(bool holds, const std::string& what) {
  if (!holds) broken(what);
}

}  // namespace liftsim::fuzz
