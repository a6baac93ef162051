// Small pieces of reading values people type: blanks around a word, a decimal number.
#pragma once

#include <charconv>
#include <string_view>

namespace liftsim::params {

// `s` without the characters of `blanks` at either end.
inline std::string_view trim(std::string_view s, std::string_view blanks = " \t") {
  const auto first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// A decimal number filling `text` (blanks around it and a leading '+' allowed): the nearest
// double. False for anything else, and for a magnitude beyond the double range.
inline bool parse_decimal(std::string_view text, double& value, std::string_view blanks = " \t") {
  text = trim(text, blanks);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

}  // namespace liftsim::params
