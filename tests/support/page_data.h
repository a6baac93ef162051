// Test support: the data block of a page the program writes, and a run page's columns decoded.
#pragma once

#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace liftsim::testing {

// The page's data block, parsed; null when the page has none.
inline nlohmann::json page_data(const std::string& html) {
  const std::string open = "<script type=\"application/json\" id=\"liftsim-data\">";
  const std::size_t from = html.find(open);
  if (from == std::string::npos) return nullptr;
  const std::size_t to = html.find("</script>", from);
  return nlohmann::json::parse(html.substr(from + open.size(), to - from - open.size()));
}

inline std::string base64_decode(const std::string& text) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int have = 0;
  for (char c : text) {
    if (c == '=') break;
    bits = bits << 6 | static_cast<unsigned>(alphabet.find(c));
    if ((have += 6) >= 8) out += static_cast<char>((bits >> (have -= 8)) & 0xff);
  }
  return out;
}

// The values of a run page's column (little-endian binary64 or binary32 in base64), as doubles.
inline std::vector<double> page_column(const nlohmann::json& column) {
  const std::string bytes = base64_decode(column.at("data").get<std::string>());
  const bool wide = column.at("type") == "f64";
  std::vector<double> values;
  for (std::size_t at = 0; at + (wide ? 8 : 4) <= bytes.size(); at += wide ? 8 : 4) {
    if (wide) {
      double v = 0;
      std::memcpy(&v, bytes.data() + at, 8);
      values.push_back(v);
    } else {
      float v = 0;
      std::memcpy(&v, bytes.data() + at, 4);
      values.push_back(v);
    }
  }
  return values;
}

}  // namespace liftsim::testing
