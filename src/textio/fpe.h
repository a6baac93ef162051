// Floating-point fault traps and checked math functions that end the run with the MATH report.
#pragma once

#include <cstdint>

namespace liftsim::textio {

// Makes invalid operation, division by zero and overflow trap from now on (underflow and inexact
// stay silent); a trap ends the run with M6101, M6103 or M6104.
void install_fp_traps();

}  // namespace liftsim::textio

// Math functions that end the run with M6201 (DOMAIN), M6202 (SING), M6203 (OVERFLOW) or
// M6205 (TLOSS) instead of returning NaN or infinity; the message is "<name>: <KIND> error".
namespace liftsim::checked {

double sqrt(double x);
double sin(double x);
double cos(double x);
double asin(double x);
double atan(double x);
double pow(double x, double y);

// Real to 32-bit integer by truncation toward zero; a value outside the integer range (or NaN) is
// an invalid operation and ends the run with M6101, as the hardware conversion would trap.
std::int32_t to_int32(double x);

}  // namespace liftsim::checked
