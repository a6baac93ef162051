// Values set by name for one run: `--set NAME=VALUE` and TOML parameter files, checked against the
// parameter table.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/table.h"

namespace liftsim::params {

// One value set by name.
struct Assignment {
  const Param* param = nullptr;
  double value = 0.0;
};

// The values set for a run, later ones winning over earlier ones.
class Overrides {
 public:
  void set(const Param& p, double value);
  void add(const Overrides& later);
  // The value set for `p`, if any.
  std::optional<double> find(const Param& p) const;
  const std::vector<Assignment>& list() const { return list_; }
  bool empty() const { return list_.empty(); }

 private:
  std::vector<Assignment> list_;
};

// A usage error: what is wrong, for the user.
struct ParseError {
  std::string message;
};

// "NAME=VALUE": the value is the double nearest to the decimal text. Fails for an unknown name
// (suggesting the nearest names), a value that is not a number or not finite, a parameter that
// cannot be set, or a value outside the parameter's range.
std::optional<ParseError> parse_assignment(std::string_view text, Overrides& into);

// A TOML file of assignments (`m_4 = 1234.5`, comments allowed): the same checks, naming the line.
std::optional<ParseError> parse_toml(std::string_view text, std::string_view file_name,
                                     Overrides& into);

// Checks a value against the parameter's range; nullopt when it is allowed.
std::optional<ParseError> check_value(const Param& p, double value);

// Checks what involves several parameters (t_end > t_start).
std::optional<ParseError> check_case(const CaseValues& v);

// The parameter names nearest to an unknown one, best first (at most three).
std::vector<std::string_view> nearest_names(std::string_view unknown);

// Shortest text that reads back as the same double.
std::string shortest(double value);

// A value as a person wrote it. A single-precision constant widened to double (the built-in
// wheel radius 0.401f, whose double is 0.4009999930858612) is shown as the shortest decimal that
// reads back as that float, "0.401", with `single` set; any other value as `shortest` gives it.
struct Written {
  std::string text;
  bool single = false;
};
Written written(double value);

}  // namespace liftsim::params
