#include "textio/codepage.h"

#include <iconv.h>

#include <stdexcept>
#include <string>

namespace liftsim::textio {

namespace {

// Owns one conversion descriptor for the lifetime of a call.
class Converter {
 public:
  Converter() : cd_(iconv_open("CP1251", "UTF-8")) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error("no UTF-8 to Windows-1251 conversion available");
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

[[noreturn]] void reject(std::string_view utf8) {
  throw std::invalid_argument("text has no Windows-1251 form: \"" + std::string(utf8) + "\"");
}

}  // namespace

std::string to_cp1251(std::string_view utf8) {
  if (utf8.empty()) return {};
  Converter converter;
  // Every Windows-1251 character comes from at least one UTF-8 byte, so the result is never
  // longer than the input.
  std::string result(utf8.size(), '\0');
  char* in = const_cast<char*>(utf8.data());  // iconv's interface is not const-correct
  std::size_t in_left = utf8.size();
  char* out = result.data();
  std::size_t out_left = result.size();

  const std::size_t converted = iconv(converter.get(), &in, &in_left, &out, &out_left);
  // A non-zero count of irreversible conversions means a character was replaced by a
  // substitute; that is as wrong as a character with no form at all.
  if (converted == static_cast<std::size_t>(-1) || converted != 0 || in_left != 0) {
    reject(utf8);
  }
  if (iconv(converter.get(), nullptr, nullptr, &out, &out_left) == static_cast<std::size_t>(-1)) {
    reject(utf8);
  }
  result.resize(result.size() - out_left);
  return result;
}

}  // namespace liftsim::textio
