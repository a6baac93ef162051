// The built-in Windows-1251 table against the C library's converter: a run needs no converter,
// and must write exactly the bytes one would.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "textio/codepage.h"

namespace liftsim::textio {
namespace {

// iconv's Windows-1251 bytes for UTF-8 text; nothing when it has no such form.
std::optional<std::string> iconv_cp1251(std::string_view utf8) {
  static const iconv_t cd = ::iconv_open("CP1251", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no iconv for CP1251");
  std::string in(utf8), out(4 * utf8.size() + 4, '\0');
  char* in_p = in.data();
  char* out_p = out.data();
  std::size_t in_left = in.size(), out_left = out.size();
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // the initial state
  const std::size_t done = ::iconv(cd, &in_p, &in_left, &out_p, &out_left);
  if (done == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

std::optional<std::string> table_cp1251(std::string_view utf8) {
  try {
    return to_cp1251(utf8);
  } catch (const std::invalid_argument&) {
    return std::nullopt;
  }
}

std::string utf8(std::uint32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

// Every character of the Basic Multilingual Plane converts as iconv converts it, or is refused
// where iconv has no Windows-1251 byte for it; and all of those that convert, as one text.
TEST(Codepage, EveryCharacterAsIconvHasIt) {
  int converted = 0;
  std::string all;
  for (std::uint32_t cp = 0; cp <= 0xFFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;  // surrogates are no characters
    const std::string text = utf8(cp);
    const auto expected = iconv_cp1251(text);
    ASSERT_EQ(table_cp1251(text), expected) << "U+" << std::hex << cp;
    converted += expected.has_value();
    if (expected && cp != 0) all += text;
  }
  EXPECT_EQ(converted, 255);  // every byte but 0x98, which the code page leaves undefined
  EXPECT_EQ(to_cp1251(all), *iconv_cp1251(all));
}

}  // namespace
}  // namespace liftsim::textio
