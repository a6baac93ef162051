#include "sweep/axes.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "params/text.h"

namespace liftsim::sweep {
namespace {

using params::NumberRead;
using params::trim;

// One number of an axis; a message naming it and the accepted forms when it is not one.
std::optional<params::ParseError> number(std::string_view text, double& value,
                                         const std::string& quoted) {
  const NumberRead read = params::read_number(text, value);
  if (read == NumberRead::ok) return std::nullopt;
  return params::ParseError{quoted + ": " + params::number_problem(text, read)};
}

// The largest number of values one axis may have.
constexpr std::int64_t kMostValues = 10'000'000;

// A decimal step is not a double: 0:0.3:0.1 would run 0.30000000000000004 and -0.3:0.3:0.1 would
// run 5.551115123125783e-17, values nobody typed and that `--set zc_4=0.3` does not run. A value
// is rounded to 15 significant digits of the range's scale (the largest of |FROM|, |TO|, STEP)
// instead, when that moves it by less than a millionth of a step.
}  // namespace

double decimal(double value, double step, double scale) {
  const int digits = std::max(0, 14 - static_cast<int>(std::floor(std::log10(scale))));
  char text[400];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
  double rounded = value;
  if (end.ec != std::errc() || std::from_chars(text, end.ptr, rounded).ec != std::errc()) {
    return value;
  }
  return std::fabs(rounded - value) <= step * 1e-6 ? rounded : value;
}

std::optional<params::ParseError> parse_axis(std::string_view text, Axis& axis) {
  const auto eq = text.find('=');
  const std::string quoted = params::excerpt(text);
  if (eq == std::string_view::npos) {
    return params::ParseError{quoted + " is not NAME=FROM:TO:STEP or NAME=V1,V2,..."};
  }
  const std::string name(trim(text.substr(0, eq)));
  const params::Param* p = params::find_param(name);
  if (p == nullptr || !p->settable) {
    // The same message as --set gives, suggestions included.
    params::Overrides scratch;
    if (auto bad = params::parse_assignment(name + "=0", scratch)) return bad;
    return params::ParseError{"parameter " + name + " cannot be varied"};
  }
  axis.param = p;
  axis.values.clear();
  axis.text.clear();
  const std::string_view values_text = trim(text.substr(eq + 1));
  if (values_text.find(':') != std::string_view::npos) {
    const auto c1 = values_text.find(':');
    const auto c2 = values_text.find(':', c1 + 1);
    if (c2 == std::string_view::npos) {
      return params::ParseError{quoted + ": a range is FROM:TO:STEP with three numbers"};
    }
    double from = 0, to = 0, step = 0;
    if (auto bad = number(values_text.substr(0, c1), from, quoted)) return bad;
    if (auto bad = number(values_text.substr(c1 + 1, c2 - c1 - 1), to, quoted)) return bad;
    if (auto bad = number(values_text.substr(c2 + 1), step, quoted)) return bad;
    if (!(step > 0.0) || to < from) {
      return params::ParseError{quoted + ": a range needs FROM <= TO and STEP > 0"};
    }
    const double steps = std::floor((to - from) / step + 1e-6);
    if (steps + 1 > static_cast<double>(kMostValues)) {
      return params::ParseError{quoted + ": too many values (at most " +
                                std::to_string(kMostValues) + ")"};
    }
    const auto n = static_cast<std::int64_t>(steps);
    const double scale = std::max({std::fabs(from), std::fabs(to), step});
    for (std::int64_t k = 0; k <= n; ++k) {
      axis.values.push_back(decimal(from + static_cast<double>(k) * step, step, scale));
    }
    axis.text = name + "=" + params::shortest(from) + ":" + params::shortest(to) + ":" +
                params::shortest(step);
  } else {
    std::string_view rest = values_text;
    for (;;) {
      const auto comma = rest.find(',');
      double v = 0;
      if (auto bad = number(rest.substr(0, comma), v, quoted)) return bad;
      axis.values.push_back(v);
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
    axis.text = axis_text(Axis{p, axis.values});
  }
  for (double v : axis.values) {
    if (auto bad = params::check_value(*p, v))
      return params::ParseError{quoted + ": " + bad->message};
  }
  return std::nullopt;
}

std::string axis_text(const Axis& axis) {
  if (!axis.text.empty()) return axis.text;
  std::string text(axis.param->name);
  for (std::size_t k = 0; k < axis.values.size(); ++k) {
    text += k == 0 ? '=' : ',';
    text += params::shortest(axis.values[k]);
  }
  return text;
}

std::int64_t case_count(const std::vector<Axis>& axes) {
  std::int64_t count = 1;
  for (const Axis& a : axes) {
    const auto n = static_cast<std::int64_t>(a.values.size());
    if (n == 0) return 0;
    count = count > kMostCases / n ? kMostCases + 1 : count * n;
  }
  return count;
}

CaseGrid::CaseGrid(std::vector<Axis> axes) : axes_(std::move(axes)), size_(case_count(axes_)) {}

void CaseGrid::values(std::int64_t index, std::vector<double>& out) const {
  out.resize(axes_.size());
  for (std::size_t k = axes_.size(); k-- > 0;) {
    const auto n = static_cast<std::int64_t>(axes_[k].values.size());
    out[k] = axes_[k].values[static_cast<std::size_t>(index % n)];
    index /= n;
  }
}

std::optional<params::ParseError> parse_shard(std::string_view text, Shard& shard) {
  const auto slash = text.find('/');
  const std::string quoted = params::excerpt(text);
  int k = 0, n = 0;
  if (slash == std::string_view::npos)
    return params::ParseError{"--shard " + quoted + " is not K/N"};
  for (const auto& [part, into] :
       {std::pair{text.substr(0, slash), &k}, std::pair{text.substr(slash + 1), &n}}) {
    if (const NumberRead read = params::read_whole(part, *into); read != NumberRead::ok) {
      return params::ParseError{"--shard " + quoted + ": " +
                                params::whole_problem<int>(part, read)};
    }
  }
  if (n < 1 || k < 1 || k > n) {
    return params::ParseError{"--shard " + quoted + " is not K/N with 1 <= K <= N"};
  }
  shard = {k, n};
  return std::nullopt;
}

}  // namespace liftsim::sweep
