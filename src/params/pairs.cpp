#include "params/pairs.h"

#include <string>

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

std::optional<ParseError> parse_pairs(std::string_view text, std::string_view file_name,
                                      const PairColumns& columns,
                                      std::vector<std::pair<double, double>>& pairs) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  pairs.clear();
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
    const std::string_view a_text = line.substr(0, comma);
    const std::string_view b_text =
        comma == std::string_view::npos ? std::string_view() : line.substr(comma + 1);
    double a = 0.0, b = 0.0;
    const NumberRead a_read = read_number(a_text, a);
    const NumberRead b_read = read_number(b_text, b);
    if (a_read == NumberRead::ok && b_read == NumberRead::ok) {
      if (!pairs.empty() && !(a > pairs.back().first)) {
        return ParseError{where + std::string(columns.first) +
                          " must increase from line to line (" + std::string(columns.first) +
                          " = " + shortest(a) + " after " + shortest(pairs.back().first) + ")"};
      }
      pairs.emplace_back(a, b);
      continue;
    }
    // A header names the two columns: words, where the rows have numbers.
    const bool two_fields =
        comma != std::string_view::npos && b_text.find(',') == std::string_view::npos;
    if (first && two_fields && starts_with_letter(trim(a_text)) &&
        starts_with_letter(trim(b_text))) {
      continue;
    }
    if (a_read == NumberRead::too_large || b_read == NumberRead::too_large) {
      return ParseError{where + number_problem(a_read == NumberRead::too_large ? a_text : b_text,
                                               NumberRead::too_large)};
    }
    return ParseError{where + "expected two numbers " + std::string(columns.described) + " (" +
                      std::string(kNumberForms) + "), found " + excerpt(line, '"')};
  }
  return std::nullopt;
}

}  // namespace liftsim::params
