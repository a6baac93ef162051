// Floating-point fault traps for one run on one thread, and checked math functions.
#pragma once

#include <cstdint>
#include <optional>

#include "textio/run_error.h"

namespace liftsim::textio {

// Runs `body(context)` on the calling thread with invalid operation, division by zero and overflow
// trapping (underflow and inexact stay silent). A trap ends the body where it happens and is
// returned as M6101, M6103 or M6104; otherwise nothing is returned. RunFailure and other
// exceptions from the body pass through. The thread's floating-point environment is restored
// either way. Other threads are not affected.
//
// A trap leaves the body's frames without unwinding them, so whatever runs inside must not hold
// automatic objects with non-trivial destructors while it computes; state the body must keep
// lives in `context`.
std::optional<RunError> run_with_fp_traps(void (*body)(void*), void* context);

template <class Fn>
std::optional<RunError> run_with_fp_traps(Fn& fn) {
  return run_with_fp_traps([](void* p) { (*static_cast<Fn*>(p))(); }, &fn);
}

// The MATH report values of a trap: M6101 "invalid", M6103 "divide by zero", M6104 "overflow".
RunError fp_fault_error(ErrorCode code);

}  // namespace liftsim::textio

// Math functions that fail the run with M6201 (DOMAIN), M6202 (SING), M6203 (OVERFLOW) or
// M6205 (TLOSS) instead of returning NaN or infinity; the message is "<name>: <KIND> error".
// They throw textio::RunFailure.
namespace liftsim::checked {

double sqrt(double x);
double sin(double x);
double cos(double x);
double asin(double x);
double atan(double x);
double pow(double x, double y);

// Real to 32-bit integer by truncation toward zero; a value outside the integer range (or NaN) is
// an invalid operation (M6101), as the hardware conversion would trap.
std::int32_t to_int32(double x);

}  // namespace liftsim::checked
