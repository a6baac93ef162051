#include "params/overrides.h"

#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "params/text.h"

namespace liftsim::params {
namespace {

// 'text' in quotes. (Built by appending: GCC 12 warns falsely about "'" + std::string(...).)
std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  out += text;
  out += '\'';
  return out;
}

// Edit distance, case differences counting half, for suggestions.
int distance(std::string_view a, std::string_view b) {
  std::vector<int> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j) * 2;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    int diagonal = row[0];
    row[0] = static_cast<int>(i) * 2;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const char x = a[i - 1], y = b[j - 1];
      const int same = x == y ? 0 : (std::tolower(x) == std::tolower(y) ? 1 : 2);
      const int best = std::min({row[j] + 2, row[j - 1] + 2, diagonal + same});
      diagonal = row[j];
      row[j] = best;
    }
  }
  return row[b.size()];
}

std::string unknown_message(std::string_view name) {
  std::string message = "unknown parameter " + quoted(name);
  const auto near = nearest_names(name);
  if (!near.empty()) {
    message += " (did you mean ";
    for (std::size_t i = 0; i < near.size(); ++i) {
      if (i > 0) message += i + 1 == near.size() ? " or " : ", ";
      message += near[i];
    }
    message += "?)";
  }
  message += "; 'liftsim params' lists them all";
  return message;
}

std::optional<ParseError> assign(std::string_view name, double value, Overrides& into) {
  const Param* p = find_param(name);
  if (p == nullptr) return ParseError{unknown_message(name)};
  if (!p->settable) {
    return ParseError{"parameter " + std::string(name) + " cannot be set"};
  }
  if (auto bad = check_value(*p, value)) return bad;
  into.set(*p, value);
  return std::nullopt;
}

}  // namespace

void Overrides::set(const Param& p, double value) {
  for (Assignment& a : list_) {
    if (a.param == &p) {
      a.value = value;
      return;
    }
  }
  list_.push_back({&p, value});
}

void Overrides::add(const Overrides& later) {
  for (const Assignment& a : later.list_) set(*a.param, a.value);
}

std::optional<double> Overrides::find(const Param& p) const {
  for (const Assignment& a : list_) {
    if (a.param == &p) return a.value;
  }
  return std::nullopt;
}

std::string shortest(double value) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

Written written(double value) {
  std::string exact = shortest(value);
  if (!(std::fabs(value) <= std::numeric_limits<float>::max())) return {exact, false};
  const auto single = static_cast<float>(value);
  if (static_cast<double>(single) != value) return {exact, false};
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, single);
  std::string text(buf, r.ptr);
  // 0.5 or 210: the same digits either way, nothing to tell apart.
  if (text == exact) return {exact, false};
  return {text, true};
}

std::vector<std::string_view> nearest_names(std::string_view unknown) {
  std::vector<std::pair<int, std::string_view>> scored;
  for (const Param& p : all_params()) {
    if (!p.settable) continue;
    const int d = distance(unknown, p.name);
    if (d <= 4) scored.emplace_back(d, p.name);
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string_view> names;
  for (std::size_t i = 0; i < scored.size() && i < 3; ++i) names.push_back(scored[i].second);
  return names;
}

std::optional<ParseError> check_value(const Param& p, double value) {
  std::string_view allowed;
  if (in_range(p, value, allowed)) return std::nullopt;
  return ParseError{"value " + shortest(value) + " for " + std::string(p.name) +
                    " is outside its range: " + std::string(allowed) +
                    (p.unit == "1" ? "" : " (" + std::string(p.unit) + ")")};
}

std::optional<ParseError> check_case(const CaseValues& v) {
  if (!(v.prmt[1] > v.prmt[0])) {
    return ParseError{"end time t_end = " + shortest(v.prmt[1]) +
                      " s must be later than the start time t_start = " + shortest(v.prmt[0]) +
                      " s"};
  }
  return std::nullopt;
}

std::optional<ParseError> parse_assignment(std::string_view text, Overrides& into) {
  const auto eq = text.find('=');
  if (eq == std::string_view::npos) {
    return ParseError{quoted(text) + " is not an assignment NAME=VALUE"};
  }
  const std::string_view name = trim(text.substr(0, eq));
  std::string_view number = trim(text.substr(eq + 1));
  if (name.empty()) return ParseError{quoted(text) + " names no parameter"};
  const bool plus = !number.empty() && number.front() == '+';
  if (plus) number.remove_prefix(1);
  double value = 0.0;
  const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
  const bool negative_after_plus = plus && !number.empty() && number.front() == '-';
  if (number.empty() || r.ec == std::errc::invalid_argument ||
      r.ptr != number.data() + number.size() || negative_after_plus) {
    return ParseError{"value " + quoted(trim(text.substr(eq + 1))) + " for " + std::string(name) +
                      " is not a number"};
  }
  if (r.ec == std::errc::result_out_of_range) {
    // Too small for a double is the nearest double, zero (or a subnormal); too large is not finite.
    const std::string text(number);
    value = std::strtod(text.c_str(), nullptr);
  }
  if (!std::isfinite(value)) {
    return ParseError{"value " + quoted(trim(text.substr(eq + 1))) + " for " + std::string(name) +
                      " is not a finite number"};
  }
  return assign(name, value, into);
}

std::optional<ParseError> parse_toml(std::string_view text, std::string_view file_name,
                                     Overrides& into) {
  const std::string file(file_name);
  toml::table table;
  try {
    table = toml::parse(text, file);
  } catch (const toml::parse_error& e) {
    return ParseError{file + ":" + std::to_string(e.source().begin.line) + ": " +
                      std::string(e.description())};
  }
  for (const auto& [key, node] : table) {
    const std::string where = file + ":" + std::to_string(node.source().begin.line) + ": ";
    double value = 0.0;
    if (const auto* f = node.as_floating_point()) {
      value = f->get();
    } else if (const auto* i = node.as_integer()) {
      value = static_cast<double>(i->get());
    } else {
      return ParseError{where + "value of " + std::string(key.str()) + " is not a number"};
    }
    if (!std::isfinite(value)) {
      return ParseError{where + "value of " + std::string(key.str()) + " is not a finite number"};
    }
    if (auto bad = assign(key.str(), value, into)) return ParseError{where + bad->message};
  }
  return std::nullopt;
}

}  // namespace liftsim::params
