#include "html/encode.h"

#include <bit>
#include <cmath>

namespace liftsim::html {

std::string script_json(const nlohmann::json& value) {
  const std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  // A '<' can only stand inside a JSON string, where \u003c means the same.
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '<') {
      out += "\\u003c";
    } else {
      out += c;
    }
  }
  return out;
}

std::string valid_utf8(std::string_view text) {
  // The JSON serializer knows UTF-8; going through it and back keeps the valid sequences.
  const std::string quoted = nlohmann::json(std::string(text))
                                 .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return nlohmann::json::parse(quoted).get<std::string>();
}

std::string html_text(std::string_view text) {
  std::string out;
  for (char c : valid_utf8(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::uint32_t binary32_bits(double v) {
  if (std::isnan(v)) return 0x7fc00000u;
  // Values from (2 - 2^-24) * 2^127 upwards round to infinity; the conversion would trap on them
  // when overflow traps are on.
  if (std::isinf(v) || std::fabs(v) >= 0x1.ffffffp+127) {
    return std::signbit(v) ? 0xff800000u : 0x7f800000u;
  }
  return std::bit_cast<std::uint32_t>(static_cast<float>(v));
}

void append_base64(std::string& out, std::string_view bytes) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16 |
                            std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8 |
                            std::uint32_t{static_cast<unsigned char>(bytes[i + 2])};
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 0) return;
  std::uint32_t n = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16;
  if (rest == 2) n |= std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8;
  out += kAlphabet[n >> 18];
  out += kAlphabet[(n >> 12) & 63];
  out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
  out += '=';
}

}  // namespace liftsim::html
