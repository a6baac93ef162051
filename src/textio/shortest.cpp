#include "textio/shortest.h"

#include <dragonbox/dragonbox.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace liftsim::textio {
namespace {

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr std::uint64_t kPow10[] = {1ULL,
                                    10ULL,
                                    100ULL,
                                    1000ULL,
                                    10000ULL,
                                    100000ULL,
                                    1000000ULL,
                                    10000000ULL,
                                    100000000ULL,
                                    1000000000ULL,
                                    10000000000ULL,
                                    100000000000ULL,
                                    1000000000000ULL,
                                    10000000000000ULL,
                                    100000000000000ULL,
                                    1000000000000000ULL,
                                    10000000000000000ULL,
                                    100000000000000000ULL,
                                    1000000000000000000ULL,
                                    10000000000000000000ULL};

// Number of decimal digits of v > 0.
int digit_count(std::uint64_t v) {
  const int bits = 64 - __builtin_clzll(v);
  const int guess = (bits * 1233) >> 12;  // floor(bits · log10 2), one short at most
  return guess + (v >= kPow10[guess] ? 1 : 0);
}

void write4(char* p, unsigned v) {  // exactly four digits, v < 10 000
  std::memcpy(p, kPairs + 2 * (v / 100), 2);
  std::memcpy(p + 2, kPairs + 2 * (v % 100), 2);
}

// A Dragonbox significand has at most 17 digits.
constexpr int kMaxDigits = 17;

// Writes v < 10^17 as 17 digits with leading zeros at `p`; returns where the significant ones
// start. No loop and no branch on the length, which varies from number to number.
char* write_digits(std::uint64_t v, char* p) {
  const auto hi = static_cast<unsigned>(v / 100000000);
  const auto lo = static_cast<unsigned>(v % 100000000);
  const unsigned hi8 = hi % 100000000;
  p[0] = static_cast<char>('0' + hi / 100000000);
  write4(p + 1, hi8 / 10000);
  write4(p + 5, hi8 % 10000);
  write4(p + 9, lo / 10000);
  write4(p + 13, lo % 10000);
  return p + kMaxDigits - digit_count(v);
}

}  // namespace

char* write_shortest(char* out, double value) {
  // isless: a NaN must not raise the invalid-operation flag, which a run traps.
  if (!std::isless(std::fabs(value), 0x1p53) || value == 0.0) {
    return std::to_chars(out, out + kShortestRoom, value).ptr;
  }
  const auto decimal = jkj::dragonbox::to_decimal(value);
  *out = '-';
  out += decimal.is_negative ? 1 : 0;

  // The value is digits · 10^e with n digits; blocks of kMaxDigits are copied whatever n is.
  char buf[2 * kMaxDigits] = {};
  const char* const digits = write_digits(decimal.significand, buf);
  const int n = static_cast<int>(buf + kMaxDigits - digits);
  const int e = decimal.exponent;
  const int sci_exp = e + n - 1;
  const int abs_exp = sci_exp < 0 ? -sci_exp : sci_exp;
  const int sci_length = n + (n > 1 ? 1 : 0) + 2 + (abs_exp >= 100 ? 3 : 2);

  if (e >= 0) {
    if (n + e <= sci_length) {  // ddd000: at most five zeros
      std::memcpy(out, digits, kMaxDigits);
      std::memcpy(out + n, "00000000", 8);
      return out + n + e;
    }
  } else if (n + e > 0) {  // ddd.ddd, never longer than scientific
    const int whole = n + e;
    std::memcpy(out, digits, kMaxDigits);
    out[whole] = '.';
    std::memcpy(out + whole + 1, digits + whole, kMaxDigits);
    return out + n + 1;
  } else if (2 - e <= sci_length) {  // 0.0ddd: at most three zeros after the point
    std::memcpy(out, "0.000000", 8);
    std::memcpy(out + 2 - (n + e), digits, kMaxDigits);
    return out + 2 - e;
  }
  out[0] = digits[0];
  out[1] = '.';
  std::memcpy(out + 2, digits + 1, kMaxDigits - 1);
  out += n > 1 ? n + 1 : 1;
  out[0] = 'e';
  out[1] = sci_exp < 0 ? '-' : '+';
  if (abs_exp >= 100) {
    out[2] = static_cast<char>('0' + abs_exp / 100);
    std::memcpy(out + 3, kPairs + 2 * (abs_exp % 100), 2);
    return out + 5;
  }
  std::memcpy(out + 2, kPairs + 2 * abs_exp, 2);
  return out + 4;
}

}  // namespace liftsim::textio
