"""CPU time of liftsim.run() on the example from Python, every column returned, against the
same run keeping no column: medians over repetitions of the process's CPU time (the run's
worker thread included).

    PYTHONPATH=build/python/python /usr/bin/python3 bench/bench_python.py [REPETITIONS]
"""

import statistics
import sys
import time

import liftsim


def cpu_ms(call, repetitions):
    times = []
    for _ in range(repetitions):
        start = time.process_time()
        call()
        times.append((time.process_time() - start) * 1e3)
    return statistics.median(times)


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 50
    liftsim.run()  # the first call loads NumPy's parts that a run uses
    every = cpu_ms(liftsim.run, repetitions)
    time_only = cpu_ms(lambda: liftsim.run(columns=["t"]), repetitions)
    print(f"liftsim.run(), every column: {every:.2f} ms CPU")
    print(f"liftsim.run(columns=['t']):  {time_only:.2f} ms CPU")


if __name__ == "__main__":
    main()
