// Fuzz target: --vary axes (NAME=FROM:TO:STEP or NAME=V1,V2,...) through their parser, checked
// against the parameter table and the number reader.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "params/overrides.h"
#include "params/text.h"
#include "property.h"
#include "sweep/axes.h"

namespace {

using liftsim::fuzz::broken;
using liftsim::fuzz::require;
using liftsim::params::NumberRead;
using liftsim::params::read_number;
using liftsim::params::trim;
using liftsim::sweep::Axis;

// The text's parts at `separator`.
std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

double number(std::string_view text) {
  double v = 0;
  require(read_number(text, v) == NumberRead::ok, "a value that does not read as a number");
  return v;
}

void check_range(const Axis& axis, std::string_view values) {
  const auto parts = split(values, ':');
  require(parts.size() == 3, "a range accepted without three parts");
  const double from = number(parts[0]), to = number(parts[1]), step = number(parts[2]);
  require(step > 0 && from <= to, "a range accepted with STEP <= 0 or FROM > TO");
  // FROM, FROM + STEP, ... up to TO, or just beyond it by a millionth of a step.
  const double count = std::floor((to - from) / step + 1e-6) + 1;
  require(static_cast<double>(axis.values.size()) == count,
          std::to_string(axis.values.size()) + " values where the range has " +
              std::to_string(count));
  for (std::size_t k = 0; k < axis.values.size(); ++k) {
    const double exact = from + static_cast<double>(k) * step;
    // Rounded to the decimal the user means by at most a millionth of a step.
    if (!(std::fabs(axis.values[k] - exact) <= step * 1e-6)) {
      broken("value " + std::to_string(k) + " is not FROM + k STEP: " +
             liftsim::params::shortest(axis.values[k]));
    }
    if (k > 0 && !(axis.values[k] >= axis.values[k - 1])) broken("the values of a range decrease");
  }
}

void check_list(const Axis& axis, std::string_view values) {
  const auto parts = split(values, ',');
  require(parts.size() == axis.values.size(), "a list with another number of values");
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const double v = number(parts[k]);
    // The C library's nearest double, for the forms the reader accepts.
    const std::string text(trim(parts[k]));
    const double c = std::strtod(text.c_str(), nullptr);
    if (!(v == c && std::signbit(v) == std::signbit(c) && v == axis.values[k])) {
      broken("list value " + std::to_string(k) + " is not the double nearest to '" + text + "'");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Axis axis;
  const auto error = liftsim::sweep::parse_axis(text, axis);
  if (error) {
    require(!error->message.empty(), "an empty message");
    // Quoted parts are cut, so a message stays short whatever was typed.
    require(error->message.size() <= 500,
            "a message of " + std::to_string(error->message.size()) + " bytes");
    return 0;
  }
  const std::size_t eq = text.find('=');
  require(eq != std::string::npos, "an axis without '='");
  require(axis.param != nullptr && axis.param->settable, "an axis of a parameter not settable");
  require(axis.param == liftsim::params::find_param(trim(std::string_view(text).substr(0, eq))),
          "an axis of another parameter than the one named");
  require(!axis.values.empty(), "an axis without values");
  require(static_cast<std::int64_t>(axis.values.size()) <= liftsim::sweep::kMostCases,
          "more values than a sweep may have cases");
  for (double v : axis.values) {
    require(std::isfinite(v), "a value that is not finite");
    require(!liftsim::params::check_value(*axis.param, v), "a value outside the parameter's range");
  }
  const std::string_view values = trim(std::string_view(text).substr(eq + 1));
  if (values.find(':') != std::string_view::npos) {
    check_range(axis, values);
  } else {
    check_list(axis, values);
  }
  return 0;
}
