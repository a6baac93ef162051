#include "cli/interrupt.h"

#include <signal.h>

#include <mutex>

namespace liftsim::cli {
namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void on_signal(int signal) {
  int none = 0;
  g_signal.compare_exchange_strong(none, signal);
}

}  // namespace

void install_interrupt_handlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking read or wait returns early
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  });
}

const std::atomic<int>& interrupt_signal() {
  return g_signal;
}

}  // namespace liftsim::cli
