#include "params/road_profile.h"

#include <vector>

#include "params/text.h"

namespace liftsim::params {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Whether a header field starts here: an ASCII letter, or any character beyond ASCII (letters of
// other scripts).
bool starts_with_letter(std::string_view field) {
  if (field.empty()) return false;
  const auto c = static_cast<unsigned char>(field.front());
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}

}  // namespace

std::optional<ParseError> parse_road(std::string_view text, std::string_view file_name,
                                     model::Road& road) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::vector<model::RoadPoint> points;
  std::size_t line_number = 0;
  bool first_content = true;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (line.ends_with('\r')) line.remove_suffix(1);  // a CR LF line end
    line = trim(line);
    if (line.empty() || line.front() == '#') continue;
    const bool first = first_content;
    first_content = false;
    const std::string where = std::string(file_name) + ":" + std::to_string(line_number) + ": ";
    const auto comma = line.find(',');
    const std::string_view x_text = line.substr(0, comma);
    const std::string_view z_text =
        comma == std::string_view::npos ? std::string_view() : line.substr(comma + 1);
    model::RoadPoint p;
    const NumberRead x_read = read_number(x_text, p.x);
    const NumberRead z_read = read_number(z_text, p.z);
    if (x_read == NumberRead::ok && z_read == NumberRead::ok) {
      if (!points.empty() && !(p.x > points.back().x)) {
        return ParseError{where + "x must increase from line to line (x = " + shortest(p.x) +
                          " after " + shortest(points.back().x) + ")"};
      }
      points.push_back(p);
      continue;
    }
    // A header names the two columns: words, where the points have numbers.
    const bool two_fields =
        comma != std::string_view::npos && z_text.find(',') == std::string_view::npos;
    if (first && two_fields && starts_with_letter(trim(x_text)) &&
        starts_with_letter(trim(z_text))) {
      continue;
    }
    if (x_read == NumberRead::too_large || z_read == NumberRead::too_large) {
      return ParseError{where + number_problem(x_read == NumberRead::too_large ? x_text : z_text,
                                               NumberRead::too_large)};
    }
    return ParseError{where + "expected two numbers \"x,z\" in metres (" +
                      std::string(kNumberForms) + "), found " + excerpt(line, '"')};
  }
  if (points.size() < 2) {
    return ParseError{std::string(file_name) + ": a road profile needs at least two points"};
  }
  road = model::Road(std::move(points));
  return std::nullopt;
}

}  // namespace liftsim::params
