#include "sweep/ordered_runner.h"

#include <sched.h>

#include <cerrno>

namespace liftsim::sweep {

int usable_cpus() {
  // The mask may be larger than a cpu_set_t on a machine of many CPUs: grow until it fits.
  for (int cpus = CPU_SETSIZE; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(static_cast<std::size_t>(cpus));
    if (set == nullptr) break;
    const std::size_t size = CPU_ALLOC_SIZE(static_cast<std::size_t>(cpus));
    CPU_ZERO_S(size, set);
    const int got = ::sched_getaffinity(0, size, set);
    const int error = errno;
    const int count = got == 0 ? CPU_COUNT_S(size, set) : 0;
    CPU_FREE(set);
    if (got == 0) return std::max(1, count);
    if (error != EINVAL) break;
  }
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace liftsim::sweep
