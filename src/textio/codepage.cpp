#include "textio/codepage.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace liftsim::textio {
namespace {

// Code points of the Windows-1251 bytes 0x80..0xBF (0 where the code page has no character);
// 0xC0..0xFF are the Cyrillic letters U+0410..U+044F in order.
constexpr std::uint16_t kUpperHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

[[noreturn]] void reject(std::string_view utf8) {
  throw std::invalid_argument("text has no Windows-1251 form: \"" + std::string(utf8) + "\"");
}

char byte_for(std::uint32_t cp, std::string_view utf8) {
  if (cp < 0x80) return static_cast<char>(cp);
  if (cp >= 0x410 && cp <= 0x44F) return static_cast<char>(0xC0 + (cp - 0x410));
  for (int i = 0; i < 64; ++i) {
    if (kUpperHalf[i] == cp) return static_cast<char>(0x80 + i);
  }
  reject(utf8);
}

}  // namespace

// A fixed table, so converting needs no code-page converter from the system at run time.
std::string to_cp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size()) reject(utf8);
    std::uint32_t cp = extra == 0 ? lead : extra == 1 ? (lead & 0x1Fu) : (lead & 0x0Fu);
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
      if ((c & 0xC0) != 0x80) reject(utf8);
      cp = (cp << 6) | (c & 0x3Fu);
    }
    out += byte_for(cp, utf8);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::size_t utf8_length(std::string_view text) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  std::uint32_t cp = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(text[k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3Fu);
  }
  const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < smallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

}  // namespace liftsim::textio
