"""The module inside a host process: Ctrl-C, the host's SIGFPE handler, threads, pickling."""

import concurrent.futures
import os
import pickle
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import liftsim
from conftest import same_table

# A run that would take minutes, restarting without end (and only its time column, to keep its
# memory small).
LONG = dict(params={"t_end": 300.0}, work_limit=0, columns=["t"])


def after(seconds, action):
    timer = threading.Timer(seconds, action)
    timer.start()
    return timer


# Studies whose runs would take minutes each, on two threads.
ENDLESS = dict(base={"t_end": 300.0}, work_limit=0, model="legacy", stop_when_decided=False, jobs=2)
INTERRUPTED = [
    ("run", lambda: liftsim.run(**LONG)),
    ("sweep", lambda: liftsim.sweep({"m_4": [1000.0, 1100.0, 1200.0]}, **ENDLESS)),
    ("capacity", lambda: liftsim.capacity([0.5, 1.0], mass=(100.0, 3000.0), **ENDLESS)),
    # Braked and standing, the truck's runs take long steps: a longer end time.
    ("tilt_test", lambda: liftsim.tilt_test([0.5, 1.0], base={"t_end": 1e5}, work_limit=0, jobs=2)),
]


@pytest.mark.parametrize("what,call", INTERRUPTED, ids=[i[0] for i in INTERRUPTED])
def test_ctrl_c_stops_a_run_or_study_within_a_second(what, call):
    sent = []
    timer = after(0.3, lambda: (sent.append(time.monotonic()), os.kill(os.getpid(), signal.SIGINT)))
    with pytest.raises(KeyboardInterrupt):
        call()
    assert time.monotonic() - sent[0] < 1.0
    timer.join()
    # The next run is not disturbed.
    assert liftsim.run({"t_end": 1.0}).error is None


class Caught(Exception):
    pass


def test_the_hosts_sigfpe_handler_gets_what_is_not_a_runs_fault():
    def handler(signum, frame):
        raise Caught()

    previous = signal.signal(signal.SIGFPE, handler)
    try:
        # A run's own fault is the run's: returned, not seen by the handler.
        assert liftsim.run({"m_4": 0.5}).error.code == "M6103"
        # A SIGFPE another thread raises during a run reaches it, and its exception stops the run.
        timer = after(0.3, lambda: signal.raise_signal(signal.SIGFPE))
        start = time.monotonic()
        with pytest.raises(Caught):
            liftsim.run(**LONG)
        assert time.monotonic() - start < 1.3
        timer.join()
        # Between runs the handler is the host's own.
        with pytest.raises(Caught):
            signal.raise_signal(signal.SIGFPE)
    finally:
        signal.signal(signal.SIGFPE, previous)


def test_threads_running_at_once_give_what_one_after_the_other_gives():
    cases = [{"m_4": m, "zc_4": z, "t_end": 3.0} for m in (300.0, 1500.0, 2400.0) for z in (0.5, 1.5)]
    sweeps = [dict(vary={"m_4": [500.0, 1500.0, 2400.0], "zc_4": [z]}, base={"t_end": 2.0}, jobs=2)
              for z in (0.5, 1.2, 2.0)]
    calls = [(liftsim.run, (c,), {}) for c in cases] + [(liftsim.sweep, (), s) for s in sweeps]
    alone = [call(*args, **kwargs) for call, args, kwargs in calls]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda c: c[0](*c[1], **c[2]), calls))
    for a, b in zip(alone, together):
        if isinstance(a, liftsim.Run):
            assert np.array_equal(a.data, b.data) and a.summary == b.summary
        else:
            assert same_table(a, b)


def test_results_and_tables_pickle():
    for r in (liftsim.run({"t_end": 1.0}), liftsim.run({"m_4": 0.5})):
        back = pickle.loads(pickle.dumps(r))
        assert np.array_equal(back.data, r.data) and back.columns == r.columns
        assert (back.summary, back.error, back.verdict) == (r.summary, r.error, r.verdict)
        assert np.array_equal(back["F_kp"], r.F_kp)
    table = liftsim.params()
    assert pickle.loads(pickle.dumps(table)) == table
    for study in (liftsim.sweep({"m_4": [0.5, 1500.0, 2400.0]}, base={"t_end": 1.0}),
                  liftsim.capacity([1.0], mass=(500.0, 3000.0), resolution=100.0, base={"t_end": 1.0}),
                  liftsim.tilt_test([1.0], resolution=0.1, base={"t_end": 1.0})):
        back = pickle.loads(pickle.dumps(study))
        assert type(back) is type(study) and same_table(back, study)
        assert list(back.axes) == list(study.axes) and repr(back) == repr(study)


def test_a_study_too_large_for_memory_fails_before_any_case_runs():
    # 10^7 cases under a 2 GiB address space: their rows would take about 2.4 GB.
    code = ("import resource, liftsim\n"
            "resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))\n"
            "try:\n"
            "    liftsim.sweep({'m_4': '1:10000:0.001'})\n"
            "except MemoryError as e:\n"
            "    print(e)\n")
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0 and done.stdout.startswith("no memory for the rows of 9999001 cases")
