// The built-in Windows-1251 table writes exactly the bytes the C library's converter gives.
#include <gtest/gtest.h>
#include <iconv.h>

#include <stdexcept>
#include <string>

#include "textio/codepage.h"

namespace liftsim::textio {
namespace {

// Every character of the code page (every byte but 0x98, which it leaves undefined) converts to
// the byte iconv gives it; characters it lacks, the Latin letters of the same bytes among them,
// are refused.
TEST(Codepage, EveryCharacterAsIconvHasIt) {
  const iconv_t cd = ::iconv_open("UTF-8", "CP1251");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int byte = 1; byte < 256; ++byte) {
    char in = static_cast<char>(byte), out[8];
    char *in_p = &in, *out_p = out;
    std::size_t in_left = 1, out_left = sizeof out;
    if (::iconv(cd, &in_p, &in_left, &out_p, &out_left) == static_cast<std::size_t>(-1)) {
      EXPECT_EQ(byte, 0x98);
      continue;
    }
    EXPECT_EQ(to_cp1251(std::string(out, out_p)), std::string(1, in)) << byte;
  }
  ::iconv_close(cd);
  for (const char* lacking : {"\u00c0", "\u00e9", "\u0098", "\u0100", "\u4e2d", "\U0001F600"}) {
    EXPECT_THROW(to_cp1251(lacking), std::invalid_argument) << lacking;
  }
}

}  // namespace
}  // namespace liftsim::textio
