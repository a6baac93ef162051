#include "params/text.h"

#include <algorithm>
#include <cstddef>

namespace liftsim::params {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// The number's text in the accepted form (no blanks): its parts.
struct Parts {
  bool negative = false;
  std::size_t start = 0;   // the first digit or point, after the sign
  std::string_view whole;  // digits before the point
  std::string_view fraction;
  std::string_view exponent;  // sign and digits after the e, or empty
};

// Splits `text` into its parts; false when it is not of the accepted form.
bool split(std::string_view text, Parts& parts) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t first = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    return text.substr(first, i - first);
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) parts.negative = text[i++] == '-';
  parts.start = i;
  parts.whole = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    parts.fraction = digits();
  }
  if (parts.whole.empty() && parts.fraction.empty()) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    const std::size_t first = ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits().empty()) return false;
    parts.exponent = text.substr(first);
  }
  return i == text.size();
}

// Whether a number of the accepted form that is not zero has a magnitude of at least 1: the
// decimal exponent of its first significant digit is not negative.
bool at_least_one(const Parts& p) {
  // The exponent, saturated far beyond anything a double can reach.
  constexpr long long kFar = 1'000'000'000;
  long long exponent = 0;
  std::string_view e = p.exponent;
  const bool minus = !e.empty() && e.front() == '-';
  if (!e.empty() && (e.front() == '-' || e.front() == '+')) e.remove_prefix(1);
  for (char c : e) exponent = std::min(kFar, exponent * 10 + (c - '0'));
  if (minus) exponent = -exponent;
  // Position of the first significant digit relative to the point.
  const auto lead = p.whole.find_first_not_of('0');
  long long position = 0;
  if (lead != std::string_view::npos) {
    position = static_cast<long long>(p.whole.size() - lead) - 1;
  } else {
    const auto first = p.fraction.find_first_not_of('0');
    position = -static_cast<long long>(first == std::string_view::npos ? 0 : first) - 1;
  }
  return position + exponent >= 0;
}

}  // namespace

std::string excerpt(std::string_view text, char quote) {
  std::string out(1, quote);
  if (text.size() <= kExcerptBytes) {
    out += text;
  } else {
    std::size_t cut = kExcerptBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    out += text.substr(0, cut);
    out += "...";
  }
  out += quote;
  return out;
}

NumberRead read_number(std::string_view text, double& value) {
  text = trim(text);
  Parts parts;
  if (!split(text, parts)) return NumberRead::not_a_number;
  // std::from_chars reads a leading '-', not a '+'.
  const char* first = text.data() + (parts.negative ? 0 : parts.start);
  const char* last = text.data() + text.size();
  double read = 0.0;
  const auto r = std::from_chars(first, last, read, std::chars_format::general);
  if (r.ec == std::errc() && r.ptr == last) {
    value = read;
    return NumberRead::ok;
  }
  if (r.ec != std::errc::result_out_of_range || r.ptr != last) return NumberRead::not_a_number;
  if (at_least_one(parts)) return NumberRead::too_large;
  // Below half the smallest subnormal: the nearest double is zero.
  value = parts.negative ? -0.0 : 0.0;
  return NumberRead::ok;
}

std::string number_problem(std::string_view text, NumberRead read) {
  if (read == NumberRead::too_large) {
    return excerpt(trim(text)) + " is too large (beyond the largest double, about 1.8e308)";
  }
  return excerpt(trim(text)) + " is not a number (" + std::string(kNumberForms) + ")";
}

std::string whole_problem(std::string_view text, NumberRead read, std::int64_t lowest,
                          std::int64_t highest) {
  if (read == NumberRead::too_large) {
    return excerpt(trim(text)) + " is out of range (" + std::to_string(lowest) + " to " +
           std::to_string(highest) + ")";
  }
  return excerpt(trim(text)) + " is not a whole number (" + std::string(kWholeForms) + ")";
}

}  // namespace liftsim::params
