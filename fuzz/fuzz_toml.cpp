// Fuzz target: TOML parameter files through their parser, checked against the parameter table and
// against --set.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "params/overrides.h"
#include "params/table.h"
#include "params/text.h"
#include "property.h"

namespace {

using liftsim::fuzz::broken;
using liftsim::fuzz::require;
using liftsim::params::Assignment;
using liftsim::params::Overrides;

constexpr std::string_view kName = "case.toml";

bool same(const Overrides& a, const Overrides& b) {
  if (a.list().size() != b.list().size()) return false;
  for (std::size_t i = 0; i < a.list().size(); ++i) {
    const Assignment &x = a.list()[i], &y = b.list()[i];
    if (x.param != y.param || x.value != y.value || std::signbit(x.value) != std::signbit(y.value))
      return false;
  }
  return true;
}

void check_success(const Overrides& o) {
  std::string as_toml;
  Overrides as_set;
  for (std::size_t i = 0; i < o.list().size(); ++i) {
    const Assignment& a = o.list()[i];
    require(a.param != nullptr && a.param->settable, "a value for a parameter that cannot be set");
    const std::string name(a.param->name);
    require(!liftsim::params::check_value(*a.param, a.value), "a value outside its range: " + name);
    for (std::size_t j = 0; j < i; ++j)
      require(o.list()[j].param != a.param, name + " is listed twice");
    // The value written back as the shortest text reads the same as TOML and through --set.
    const std::string text = liftsim::params::shortest(a.value);
    as_toml += name + " = " + (text.find_first_of(".e") == std::string::npos ? text + ".0" : text) +
               "\n";
    if (auto bad = liftsim::params::parse_assignment(name + "=" + text, as_set)) {
      broken("--set refuses what the file gave: " + bad->message);
    }
  }
  Overrides again;
  if (auto bad = liftsim::params::parse_toml(as_toml, kName, again)) {
    broken("the values written back as TOML are refused: " + bad->message);
  }
  require(same(again, o), "the values written back as TOML read differently");
  require(same(as_set, o), "the values given to --set read differently");
}

void check_failure(const std::string& message, std::string_view text) {
  require(message.find('\n') == std::string::npos, "the message is more than one line: " + message);
  // "case.toml:N: ..." with N a line the file has.
  require(message.starts_with(std::string(kName) + ":"), "the message does not name the file");
  const std::string_view rest = std::string_view(message).substr(kName.size() + 1);
  const std::size_t colon = rest.find(':');
  std::int64_t line = 0;
  require(colon != std::string_view::npos &&
              liftsim::params::read_whole(rest.substr(0, colon), line) ==
                  liftsim::params::NumberRead::ok,
          "the message names no line: " + message);
  std::int64_t lines = 1;
  for (char c : text) lines += c == '\n';
  require(line >= 1 && line <= lines,
          "line " + std::to_string(line) + " of " + std::to_string(lines) + ": " + message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Overrides o;
  if (auto bad = liftsim::params::parse_toml(text, kName, o)) {
    check_failure(bad->message, text);
  } else {
    check_success(o);
  }
  return 0;
}
