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

// 'text' in quotes, at most the first 60 bytes of it.
std::string quoted(std::string_view text) {
  return excerpt(text);
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
  if (!(v.x_load >= 0.0 && v.x_load <= v.par.l_fork)) {
    return ParseError{"the load's place x_load = " + shortest(v.x_load) +
                      " m must lie on the forks, between 0 and l_fork = " +
                      shortest(v.par.l_fork) + " m"};
  }
  if (!(std::fabs(v.slope) < 100.0)) {
    return ParseError{"slope = " + shortest(v.slope) +
                      " % is not a gradient a truck can stand on (|slope| < 100 %, 45 degrees)"};
  }
  return std::nullopt;
}

std::optional<ParseError> parse_assignment(std::string_view text, Overrides& into) {
  const auto eq = text.find('=');
  if (eq == std::string_view::npos) {
    return ParseError{quoted(text) + " is not an assignment NAME=VALUE"};
  }
  const std::string_view name = trim(text.substr(0, eq));
  if (name.empty()) return ParseError{quoted(text) + " names no parameter"};
  double value = 0.0;
  if (const NumberRead read = read_number(text.substr(eq + 1), value); read != NumberRead::ok) {
    return ParseError{"value of " + std::string(name) + ": " +
                      number_problem(text.substr(eq + 1), read)};
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
    // toml++ quotes what it saw as it was, line ends included: the message stays one line.
    std::string description(e.description());
    for (char& c : description) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    return ParseError{file + ":" + std::to_string(e.source().begin.line) + ": " + description};
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
