// Conversion of the program's UTF-8 label texts into the Windows-1251 bytes its files hold.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace liftsim::textio {

// Converts UTF-8 text to Windows-1251 by a fixed table (no converter is loaded at run time).
// Throws std::invalid_argument for text that is not UTF-8 or has no
// Windows-1251 form (a fault in the program's own labels, never in user input).
std::string to_cp1251(std::string_view utf8);

// The length of the UTF-8 sequence at the start of `text`: 2 to 4 for a well-formed one (no
// overlong form, surrogate or code point beyond U+10FFFF), 0 otherwise (also for empty text).
std::size_t utf8_length(std::string_view text);

}  // namespace liftsim::textio
