"""What the Python module costs.

1. liftsim.run() on the example, every column returned, against the same run returning only the
   time: medians over repetitions of the process's CPU time (the run's thread included); compare
   bench_collect's BM_RunKeepingColumns, the same run in C++.
2. liftsim.sweep() of 360 cases (m_4 = 500:2450:50 x zc_4 = 0:2.4:0.3, the example's end time,
   stable, lifting and tipping trucks) on one thread and on two: wall and CPU time, the best of
   the repetitions, since the machine's other work can only slow a repetition down.

    PYTHONPATH=build/python/python /usr/bin/python3 bench/bench_python.py [REPETITIONS [SWEEPS]]
"""

import os
import statistics
import sys
import time

import liftsim

VARY = {"m_4": "500:2450:50", "zc_4": "0:2.4:0.3"}


def cpu_ms(call, repetitions):
    times = []
    for _ in range(repetitions):
        start = time.process_time()
        call()
        times.append((time.process_time() - start) * 1e3)
    return statistics.median(times)


def sweep_times(jobs, repetitions):
    """(best wall time, CPU time of that repetition), s."""
    best = None
    for _ in range(repetitions):
        wall, cpu = time.perf_counter(), time.process_time()
        s = liftsim.sweep(VARY, jobs=jobs)
        measured = (time.perf_counter() - wall, time.process_time() - cpu)
        if best is None or measured[0] < best[0]:
            best = measured
    return best, len(s)


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 50
    sweeps = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    print(f"load average before: {os.getloadavg()[0]:.2f}")
    liftsim.run()  # the first call loads NumPy's parts that a run uses
    every = cpu_ms(liftsim.run, repetitions)
    time_only = cpu_ms(lambda: liftsim.run(columns=["t"]), repetitions)
    print(f"liftsim.run(), every column: {every:.2f} ms CPU")
    print(f"liftsim.run(columns=['t']):  {time_only:.2f} ms CPU")
    (wall1, cpu1), cases = sweep_times(1, sweeps)
    (wall2, cpu2), _ = sweep_times(2, sweeps)
    print(f"liftsim.sweep(), {cases} cases, jobs=1: {wall1:.2f} s wall, {cpu1:.2f} s CPU, "
          f"{cases / wall1:.1f} cases/s")
    print(f"liftsim.sweep(), {cases} cases, jobs=2: {wall2:.2f} s wall, {cpu2:.2f} s CPU, "
          f"{cases / wall2:.1f} cases/s; {wall1 / wall2:.2f} x one thread")
    print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
