// Reading what people type: blanks around a word, decimal and whole numbers. Every option and
// every file of numbers (road profiles, sweep axes, values set by name) reads its numbers here, so
// that all of them accept the same forms.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

namespace liftsim::params {

// The blanks allowed around a number or a name: space and tab.
inline constexpr std::string_view kBlanks = " \t";

// `s` without the characters of `blanks` at either end.
inline std::string_view trim(std::string_view s, std::string_view blanks = kBlanks) {
  const auto first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// What reading a number gave.
enum class NumberRead {
  ok,
  not_a_number,  // not of the accepted form
  too_large,     // of the form, but beyond the range of the type read into
};

// The accepted forms, for messages.
inline constexpr std::string_view kNumberForms =
    "digits with an optional sign, decimal point and exponent, such as 12, -0.5 or 1.5e3";
inline constexpr std::string_view kWholeForms = "digits with an optional sign, such as 4";

// A decimal number filling `text`, blanks around it allowed: an optional sign (+ or -), digits
// with an optional decimal point (at least one digit, before or after the point), an optional
// exponent (e or E, an optional sign, digits). Nothing else: no hexadecimal, no inf or nan, no
// thousands separators. The value is the double nearest to the decimal text; a magnitude too small
// for a double reads as the nearest double (zero, with the text's sign, or a subnormal), one
// beyond the largest double is too_large.
NumberRead read_number(std::string_view text, double& value);

// A whole number filling `text`, blanks around it allowed: an optional sign and digits. too_large
// when it lies outside the range of T.
template <class T>
NumberRead read_whole(std::string_view text, T& value) {
  static_assert(std::is_integral_v<T> && std::is_signed_v<T>);
  text = trim(text);
  const bool sign = !text.empty() && (text.front() == '+' || text.front() == '-');
  const std::string_view digits = sign ? text.substr(1) : text;
  // std::from_chars reads a leading '-', not a '+'.
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return NumberRead::not_a_number;
  }
  T read = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), read);
  if (r.ec == std::errc::result_out_of_range) return NumberRead::too_large;
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return NumberRead::not_a_number;
  value = read;
  return NumberRead::ok;
}

// The most of a text a message quotes.
inline constexpr std::size_t kExcerptBytes = 60;

// `text` in quotes for a message: at most kExcerptBytes of it, then "...", never ending inside a
// UTF-8 sequence.
std::string excerpt(std::string_view text, char quote = '\'');

// Why `text` was refused, for a message: "'TEXT' is not a number (<forms>)" or "'TEXT' is too
// large ...".
std::string number_problem(std::string_view text, NumberRead read);

// The same for a whole number, whose range is [lowest, highest].
std::string whole_problem(std::string_view text, NumberRead read, std::int64_t lowest,
                          std::int64_t highest);

template <class T>
std::string whole_problem(std::string_view text, NumberRead read) {
  return whole_problem(text, read, std::numeric_limits<T>::lowest(), std::numeric_limits<T>::max());
}

}  // namespace liftsim::params
