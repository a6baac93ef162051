// Fuzz target: the record writer's E, F and I fields, the console line and whole records.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "property.h"
#include "textio/format.h"

namespace {

using liftsim::fuzz::broken;
using liftsim::textio::Format;
using liftsim::textio::Item;

// ---------------------------------------------------------------------------------------------
// Reference texts, built from the C library's exact 17-digit expansion.

// |value| = 0.D1 D2 ... x 10^n; no digits for zero. Digits past the last one stored are zeros.
struct Decimal {
  std::string digits;
  int n = 0;
  bool negative = false;

  char at(int i) const {
    return i >= 0 && i < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(i)]
                                                         : '0';
  }
};

Decimal seventeen_digits(double value) {
  char buf[40];  // "D.DDDDDDDDDDDDDDDDe+DDD"
  std::snprintf(buf, sizeof buf, "%.16e", std::fabs(value));
  Decimal x;
  x.negative = std::signbit(value);
  x.digits.assign(1, buf[0]);
  x.digits.append(buf + 2, 16);
  x.n = std::atoi(buf + 19) + 1;
  return x;
}

// Keeps `keep` digits, rounding up when digit keep+1 is 5 or more; no digits left means zero.
Decimal rounded(Decimal x, int keep) {
  if (keep >= static_cast<int>(x.digits.size())) return x;
  if (keep < 0) {
    x.digits.clear();
    return x;
  }
  const bool up = x.digits[static_cast<std::size_t>(keep)] >= '5';
  x.digits.resize(static_cast<std::size_t>(keep));
  if (!up) return x;
  int i = keep - 1;
  for (; i >= 0 && x.digits[static_cast<std::size_t>(i)] == '9'; --i) {
    x.digits[static_cast<std::size_t>(i)] = '0';
  }
  if (i >= 0) {
    ++x.digits[static_cast<std::size_t>(i)];
  } else {
    x.digits.insert(x.digits.begin(), '1');
    x.digits.resize(static_cast<std::size_t>(keep > 0 ? keep : 1));
    ++x.n;
  }
  return x;
}

std::string justified(const std::string& text, int w) {
  const auto width = static_cast<std::size_t>(w);
  return text.size() > width ? std::string(width, '*')
                             : std::string(width - text.size(), ' ') + text;
}

std::string exponent_part(int n) {
  char buf[16];
  const char sign = n < 0 ? '-' : '+';
  const int magnitude = std::abs(n);
  if (magnitude <= 99) {
    std::snprintf(buf, sizeof buf, "E%c%02d", sign, magnitude);
  } else {
    std::snprintf(buf, sizeof buf, "%c%03d", sign, magnitude);
  }
  return buf;
}

std::string reference_e(double value, int w, int d) {
  std::string text;
  if (value == 0.0) {
    text = std::string(1, '.') + std::string(static_cast<std::size_t>(d), '0') + "E+00";
  } else {
    const Decimal x = rounded(seventeen_digits(value), d);
    if (x.negative) text += '-';
    text += '.';
    for (int i = 0; i < d; ++i) text += x.at(i);
    text += exponent_part(x.n);
  }
  return justified(text, w);
}

std::string reference_f(double value, int w, int d) {
  Decimal x;
  if (value != 0.0) {
    x = seventeen_digits(value);
    x = rounded(x, x.n + d);
  }
  if (x.digits.empty())
    return justified(std::string(1, '.') + std::string(static_cast<std::size_t>(d), '0'), w);
  std::string text = x.negative ? "-" : "";
  for (int i = 0; i < x.n; ++i) text += x.at(i);
  text += '.';
  for (int i = x.n; i < x.n + d; ++i) text += x.at(i);
  return justified(text, w);
}

std::string reference_list_directed(std::int32_t count, double value) {
  std::string real;
  if (value == 0.0) {
    real = "0.000000000000000E+000";
  } else {
    const Decimal x = rounded(seventeen_digits(value), 16);
    if (x.negative) real += '-';
    if (x.n > 0 && x.n < 8) {
      for (int i = 0; i < x.n; ++i) real += x.at(i);
      real += '.';
      for (int i = x.n; i < x.n + 15; ++i) real += x.at(i);
    } else {
      real += x.at(0);
      real += '.';
      for (int i = 1; i < 16; ++i) real += x.at(i);
      char exponent[16];
      std::snprintf(exponent, sizeof exponent, "E%c%03d", x.n - 1 < 0 ? '-' : '+',
                    std::abs(x.n - 1));
      real += exponent;
    }
  }
  std::string line(1, ' ');
  line += justified(std::to_string(count), 11);
  line += ' ';
  line += justified(real, 24);
  return line;
}

// ---------------------------------------------------------------------------------------------
// Properties that hold whatever the digits: width, overflow, sign, how close the text reads back.

std::string show(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", value);
  return buf;
}

void expect_text(const std::string& got, const std::string& want, const char* what, double value) {
  if (got != want) {
    broken(std::string(what) + " of " + show(value) + ": '" + got + "', expected '" + want + "'");
  }
}

bool digits_only(std::string_view s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Ew.d text: [-].D...D then E+NN or +NNN; yields the value it reads as and its exponent n.
bool parse_e(std::string_view text, int d, long double& parsed, int& n) {
  const std::string_view sign = text.substr(0, !text.empty() && text[0] == '-' ? 1 : 0);
  const std::string_view rest = text.substr(sign.size());
  const auto digits = static_cast<std::size_t>(d);
  if (rest.size() != 1 + digits + 4 || rest[0] != '.' || !digits_only(rest.substr(1, digits))) {
    return false;
  }
  std::string_view exponent = rest.substr(1 + digits);
  if (exponent[0] == 'E') exponent.remove_prefix(1);
  if ((exponent[0] != '+' && exponent[0] != '-') || !digits_only(exponent.substr(1))) return false;
  n = std::atoi(std::string(exponent).c_str());
  const std::string readable = std::string(sign) + "0" + std::string(rest.substr(0, 1 + digits)) +
                               "E" + std::string(exponent);
  parsed = std::strtold(readable.c_str(), nullptr);
  return true;
}

void check_e(double value, int w, int d) {
  const std::string field = liftsim::textio::e_field(value, w, d);
  expect_text(field, reference_e(value, w, d), "E field", value);
  if (w != 12 || d != 5) return;

  if (field.size() != 12) broken("E12.5 field of width " + std::to_string(field.size()));
  if (field[0] == '*') broken("E12.5 overflowed for " + show(value));
  const std::size_t first = field.find_first_not_of(' ');
  long double parsed = 0;
  int n = 0;
  if (first > 2 || !parse_e(std::string_view(field).substr(first), d, parsed, n)) {
    broken("malformed E12.5 field '" + field + "'");
  }
  if (value == 0.0) {
    if (field != "  .00000E+00") broken("zero as '" + field + "'");
    return;
  }
  if ((field[first] == '-') != (value < 0.0) || field[first + (value < 0.0 ? 2 : 1)] == '0') {
    broken("sign or leading digit wrong in '" + field + "' for " + show(value));
  }
  const long double unit = std::pow(10.0L, n - 5);
  if (std::fabs(parsed - static_cast<long double>(value)) > 0.5000001L * unit) {
    broken("'" + field + "' is not within half a unit of " + show(value));
  }
}

void check_f(double value, int w, int d) {
  const std::string field = liftsim::textio::f_field(value, w, d);
  expect_text(field, reference_f(value, w, d), "F field", value);
  if (w != 9 || d != 4) return;

  if (field.size() != 9) broken("F9.4 field of width " + std::to_string(field.size()));
  // Largest texts that fit: 9999.9999 and -999.9999; beyond the half unit the field overflows.
  constexpr double kTop = 9999.99995;
  constexpr double kBottom = -999.99995;
  constexpr double kBand = 1e-9;  // the 17-digit expansion decides right at the edge
  const bool must_fit = value < kTop - kBand && value > kBottom + kBand;
  const bool must_overflow = value > kTop + kBand || value < kBottom - kBand;
  if (field == "*********") {
    if (must_fit) broken("F9.4 overflowed for " + show(value));
    return;
  }
  if (must_overflow) broken("F9.4 gave '" + field + "' for " + show(value));

  const std::string_view text = std::string_view(field).substr(field.find_first_not_of(' '));
  const std::string_view body = text[0] == '-' ? text.substr(1) : text;
  const std::size_t point = body.find('.');
  if (point == std::string_view::npos || body.size() - point != 5 ||
      !digits_only(body.substr(0, point)) || !digits_only(body.substr(point + 1)) ||
      (point > 0 && body[0] == '0')) {
    broken("malformed F9.4 field '" + field + "'");
  }
  const std::string sign = text[0] == '-' ? "-" : "";
  const long double parsed = std::strtold((sign + "0" + std::string(body)).c_str(), nullptr);
  if (!sign.empty() && (parsed == 0.0L || !(value < 0.0))) {
    broken("minus sign on '" + field + "' for " + show(value));
  }
  if (std::fabs(parsed - static_cast<long double>(value)) > 0.5000001e-4L) {
    broken("'" + field + "' is not within half a unit of " + show(value));
  }
}

void check_i(std::int32_t value, int w) {
  const std::string field = liftsim::textio::i_field(value, w);
  expect_text(field, justified(std::to_string(value), w), "I field", value);
  if (w != 2) return;
  if (field.size() != 2) broken("I2 field of width " + std::to_string(field.size()));
  if (value < -9 || value > 99) {
    if (field != "**") broken("I2 gave '" + field + "' for " + std::to_string(value));
  } else if (std::strtol(field.c_str(), nullptr, 10) != value || field.back() == ' ') {
    broken("I2 gave '" + field + "' for " + std::to_string(value));
  }
}

void check_list_directed(std::int32_t count, double value) {
  std::string line;
  liftsim::textio::append_list_directed(line, count, value);
  expect_text(line, reference_list_directed(count, value), "console line", value);
  if (line.size() != 37) broken("console line of " + std::to_string(line.size()) + " bytes");
  if (std::strtol(line.substr(1, 11).c_str(), nullptr, 10) != count) {
    broken("console line '" + line + "' does not show the count " + std::to_string(count));
  }
  // Sixteen significant digits rounded from the 17-digit expansion: the text reads back within
  // half a unit of the sixteenth digit plus half a unit of the seventeenth, plus the error of
  // reading it into a long double (64-bit mantissa: below 0.0006 units of the sixteenth digit).
  const std::string real = line.substr(13);
  const long double parsed = std::strtold(real.c_str(), nullptr);
  const long double magnitude = std::fabs(parsed);
  const std::size_t e = real.find('E');
  int n = 0;  // decimal exponent as in 0.D1 D2 ... x 10^n
  if (e == std::string::npos) {
    if (magnitude < 1.0L || magnitude >= 1e7L) broken("fixed form for " + show(value));
    const std::size_t start = real.find_first_not_of(" -");
    n = static_cast<int>(real.find('.') - start);
  } else {
    if (magnitude >= 1.0L && magnitude < 1e7L) broken("exponent form for " + show(value));
    n = std::atoi(real.c_str() + e + 1) + 1;
  }
  if (value != 0.0 &&
      std::fabs(parsed - static_cast<long double>(value)) > 0.5507L * std::pow(10.0L, n - 16)) {
    broken("console line '" + line + "' is not within half a unit of " + show(value));
  }
}

// ---------------------------------------------------------------------------------------------
// Whole records of the formats the program writes: every record ends in CR LF and has its length,
// whatever the values.

struct WholeFormat {
  const char* text;
  std::vector<std::size_t> lengths;  // record lengths without the line end
};

const std::vector<WholeFormat>& whole_formats() {
  static const std::vector<WholeFormat> formats{
      {"(2X,E12.5,2X,E12.5)", {28}},
      {"(2X,E12.5,2X,E12.5,2X,E12.5)", {42}},
      {"('МАСА ВАНТАЖОПІДЙОМНИКА ',F9.4,/,'МАСА КАРЕТКИ ',F9.4,/,'МАСА КОРПУСА ',F9.4,/,"
       "'МАСА ВАНТАЖУ ',F9.4,/)",
       {32, 22, 22, 22, 0}},
      {"(15X,'ОСЬОВІ МОМЕНТИ ІНЕРЦІЇ ',/,'ВАНТАЖОПІДЙОМНИКА ',F9.4,/,'КАРЕТКИ ',F9.4,/,"
       "'КОРПУСА ',F9.4,/,'ВАНТАЖУ ',F9.4,/,'ВАЛУ ТЯГОВОГО КОЛЕСА',E12.5,/)",
       {38, 27, 17, 17, 17, 32, 0}},
      {"('КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО              ВАНТАЖОПІДЙОМНИКА ',"
       "2(F9.4),/,'КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА ',2(F9.4),/)",
       {94, 71, 0}},
      {"(10X,'ЗНАЧЕННЯ УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ : ',/,"
       "'X_01.3 : ',F9.4,/,'Z_01.3 : ',F9.4,/,'Fi_1   : ',F9.4,/,'Fi_3   : ',F9.4,/,"
       "'Z_02   : ',F9.4,/,'X_C4   : ',F9.4,/,'Fi_tk  : ',F9.4,/,"
       "10X,'ПОХІДНІ ВІД УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ:',/,"
       "'VX_01.3 : ',F9.4,/,'VZ_01.3 : ',F9.4,/,'VFi_1   : ',F9.4,/,'VFi_3   : ',F9.4,/,"
       "'VZ_02   : ',F9.4,/,'VX_C4   : ',F9.4,/,'VFi_tk  : ',F9.4,/)",
       {69, 18, 18, 18, 18, 18, 18, 18, 70, 19, 19, 19, 19, 19, 19, 19, 0}},
      {"(E12.5)", {12}},
      {"(/,/,/,15X,'Статичні силові співвідношення:',/,/,9X,'-SF13=',E12.5,5X,'-SF12=',E12.5,/,"
       "9X,'-F_tp_0=',E12.5,5X,'-F_kp_0=',E12.5)",
       {0, 0, 0, 46, 0, 50, 54}},
      {"(15X,'ihlf=',I2)", {22}},
      {"(15X,'ypop(15)=',E12.5)", {36}},
  };
  return formats;
}

void check_whole_records(const std::vector<double>& reals, const std::vector<std::int32_t>& ints) {
  static const std::vector<Format> parsed = [] {
    std::vector<Format> formats;
    for (const WholeFormat& f : whole_formats()) formats.emplace_back(f.text);
    return formats;
  }();
  std::vector<Item> items;
  std::string out;
  for (std::size_t k = 0; k < parsed.size(); ++k) {
    const WholeFormat& layout = whole_formats()[k];
    const bool integer = std::strstr(layout.text, "I2") != nullptr;
    items.clear();
    for (int j = 0; j < parsed[k].value_count(); ++j) {
      const auto at = static_cast<std::size_t>(j) + k;
      if (integer) {
        items.emplace_back(ints.empty() ? std::int32_t{0} : ints[at % ints.size()]);
      } else {
        items.emplace_back(reals.empty() ? 0.0 : reals[at % reals.size()]);
      }
    }
    out.clear();
    parsed[k].render(out, std::span<const Item>(items));

    std::size_t start = 0;
    for (std::size_t length : layout.lengths) {
      const std::size_t end = out.find("\r\n", start);
      if (end == std::string::npos || end - start != length ||
          out.find_first_of("\r\n", start) != end) {
        broken(std::string("records of ") + layout.text + " are not as laid out: " + out);
      }
      start = end + 2;
    }
    if (start != out.size()) broken(std::string("extra output from ") + layout.text);
  }

  // A time-history record is exactly its fields side by side.
  if (reals.size() >= 2) {
    out.clear();
    parsed[0].render(out, {reals[0], reals[1]});
    const std::string want = "  " + liftsim::textio::e_field(reals[0], 12, 5) + "  " +
                             liftsim::textio::e_field(reals[1], 12, 5) + "\r\n";
    if (out != want) broken("two-column record '" + out + "'");
  }
}

}  // namespace

// The input is a sequence of 12-byte items: the bits of a double, then a 32-bit integer. Each
// item also yields a decimal value (the integer over a power of ten, to land on the rounding
// edges) and a field width and decimal count for the general Ew.d, Fw.d and Iw checks.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const double kPowers[] = {1e0, 1e1, 1e2, 1e3,  1e4,  1e5, 1e6,
                                   1e7, 1e8, 1e9, 1e10, 1e11, 1e12};
  std::vector<double> reals;
  std::vector<std::int32_t> ints;
  for (; size >= 12; data += 12, size -= 12) {
    double bits_value;
    std::uint64_t bits;
    std::int32_t integer;
    std::memcpy(&bits_value, data, sizeof bits_value);
    std::memcpy(&bits, data, sizeof bits);
    std::memcpy(&integer, data + 8, sizeof integer);
    const double decimal = integer / kPowers[(bits & 0xff) % std::size(kPowers)];
    const int w = 1 + static_cast<int>(((bits >> 8) & 0xff) % 40);
    const int d = static_cast<int>(((bits >> 16) & 0xff) % 26);

    ints.push_back(integer);
    check_i(integer, 2);
    check_i(integer, w);
    for (double value : {bits_value, decimal}) {
      // NaN and infinities stop the run before they reach a field.
      if (!std::isfinite(value)) continue;
      reals.push_back(value);
      check_e(value, 12, 5);
      check_f(value, 9, 4);
      check_e(value, w, d > 0 ? d : 1);
      check_f(value, w, d);
      check_list_directed(integer, value);
    }
  }
  check_whole_records(reals, ints);
  return 0;
}
