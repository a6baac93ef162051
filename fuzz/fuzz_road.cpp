// Fuzz target: road profile files through their parser, checked against the profile rules.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/road.h"
#include "params/road_profile.h"
#include "params/text.h"
#include "property.h"

namespace {

using liftsim::fuzz::broken;
using liftsim::fuzz::require;
using liftsim::model::Road;
using liftsim::model::RoadPoint;

constexpr std::string_view kName = "road.csv";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

struct Outcome {
  bool ok = false;
  std::vector<RoadPoint> points;
  std::string message;
};

Outcome parse(std::string_view text) {
  Outcome out;
  Road road;
  const auto error = liftsim::params::parse_road(text, kName, road);
  out.ok = !error;
  out.points = road.points();
  if (error) out.message = error->message;
  if (error && !road.flat()) broken("a refused profile left points behind");
  return out;
}

bool same(const Outcome& a, const Outcome& b) {
  if (a.ok != b.ok || a.message != b.message || a.points.size() != b.points.size()) return false;
  for (std::size_t i = 0; i < a.points.size(); ++i) {
    // Bit for bit, the sign of a zero included.
    if (std::signbit(a.points[i].x) != std::signbit(b.points[i].x) ||
        std::signbit(a.points[i].z) != std::signbit(b.points[i].z) ||
        a.points[i].x != b.points[i].x || a.points[i].z != b.points[i].z) {
      return false;
    }
  }
  return true;
}

// The file's lines as a person counts them: split at LF, a CR before it not part of the line.
std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void check_success(const Outcome& o) {
  require(o.points.size() >= 2, "a profile accepted with fewer than two points");
  for (std::size_t i = 0; i < o.points.size(); ++i) {
    require(std::isfinite(o.points[i].x) && std::isfinite(o.points[i].z),
            "a point that is not finite");
    if (i > 0) require(o.points[i].x > o.points[i - 1].x, "x does not increase strictly");
  }
  // Beyond its ends the road keeps the height of the end.
  const Road road(o.points);
  require(road.z(o.points.front().x - 1e300) == o.points.front().z &&
              road.z(o.points.back().x + 1e300) == o.points.back().z,
          "the road is not constant beyond its ends");
}

void check_failure(const Outcome& o, std::string_view text) {
  const std::string& m = o.message;
  require(m.find('\n') == std::string::npos, "the message is more than one line: " + m);
  require(m.starts_with(std::string(kName) + ":"), "the message does not name the file: " + m);
  // Quoted parts are cut, so a message stays short whatever the line.
  require(m.size() <= 400, "a message of " + std::to_string(m.size()) + " bytes");
  const std::string_view rest = std::string_view(m).substr(kName.size() + 1);
  if (rest == " a road profile needs at least two points") return;
  // "road.csv:N: ...": N is a line the file has, one that holds neither a comment nor nothing,
  // and every line before it is good.
  const std::size_t colon = rest.find(':');
  std::int64_t number = 0;
  require(colon != std::string_view::npos &&
              liftsim::params::read_whole(rest.substr(0, colon), number) ==
                  liftsim::params::NumberRead::ok,
          "the message names no line: " + m);
  const auto n = static_cast<std::size_t>(number);
  const std::string_view body = text.starts_with(kBom) ? text.substr(kBom.size()) : text;
  const auto lines = lines_of(body);
  require(n >= 1 && n <= lines.size(),
          "line " + std::to_string(n) + " of " + std::to_string(lines.size()));
  const std::string_view line = liftsim::params::trim(lines[n - 1]);
  require(!line.empty() && line.front() != '#', "an empty or comment line named: " + m);
  // Bytes that are not plain text come from the named line, nowhere else.
  for (char c : m) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 || byte > 0x7e) && line.find(c) == std::string_view::npos) {
      broken("the message holds byte " + std::to_string(byte) + " not of line " +
             std::to_string(n));
    }
  }
  // The lines before the named one (and the byte order mark, which only the start may hold)
  // are a profile, or too few points to be one.
  std::size_t cut = text.size() - body.size();
  for (std::size_t i = 0; i + 1 < n; ++i) cut = text.find('\n', cut) + 1;
  const Outcome before = parse(text.substr(0, cut));
  require(before.ok || before.message == std::string(kName) +
                                             ": a road profile needs at least two points",
          "a line before the one named is at fault: " + before.message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Outcome plain = parse(text);
  if (plain.ok) {
    check_success(plain);
  } else {
    check_failure(plain, text);
  }
  // A byte order mark in front changes nothing.
  if (!text.starts_with(kBom) && !same(parse(std::string(kBom) + text), plain)) {
    broken("a byte order mark changed the outcome");
  }
  // Nor do CR LF line ends (for a file without CR of its own).
  if (text.find('\r') == std::string::npos) {
    std::string crlf;
    for (char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    if (!same(parse(crlf), plain)) broken("CR LF line ends changed the outcome");
  }
  return 0;
}
