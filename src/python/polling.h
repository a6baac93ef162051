// Work done without Python's lock while Python still answers signals: the work goes on a thread of
// its own, and the calling thread wakes every 50 ms to let Python run its signal handlers. When one
// raises (Ctrl-C's KeyboardInterrupt, say), the stop flag asks the work to end and the exception is
// raised once it has. No Python code runs on the work's thread.
#pragma once

#include <pybind11/pybind11.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace liftsim::python {

// How often the calling thread looks for signals while work is under way.
inline constexpr std::chrono::milliseconds kSignalPoll{50};

// Runs work() as described above; `stop` is the flag the work watches (set to SIGINT when a
// handler raised). An exception of the work is rethrown here; one of a handler wins over it.
template <class Work>
void interruptibly(std::atomic<int>& stop, Work&& work) {
  namespace py = pybind11;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::exception_ptr failure;
  std::optional<py::error_already_set> raised;
  {
    py::gil_scoped_release unlocked;
    std::thread worker([&] {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard lock(mutex);
      done = true;
      ended.notify_one();
    });
    for (;;) {
      std::unique_lock lock(mutex);
      if (ended.wait_for(lock, kSignalPoll, [&] { return done; })) break;
      lock.unlock();
      if (raised) continue;
      const py::gil_scoped_acquire locked;
      // Python's handlers run here, on the main thread only; one that raises stops the work.
      if (PyErr_CheckSignals() != 0) {
        raised.emplace();
        stop = SIGINT;
      }
    }
    worker.join();
  }
  if (raised) throw std::move(*raised);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace liftsim::python
