// Encodings for what a page carries: JSON safe inside a script element, HTML text, number columns.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace liftsim::html {

// `value` as compact JSON that can stand inside a <script> element: every '<' is written \u003c,
// so neither "</script" nor "<!--" can occur. Invalid UTF-8 in strings becomes U+FFFD; a number
// that is not finite becomes null.
std::string script_json(const nlohmann::json& value);

// `text` for HTML text or a quoted attribute value: & < > " ' escaped, invalid UTF-8 as U+FFFD.
std::string html_text(std::string_view text);

// `text` with invalid UTF-8 sequences replaced by U+FFFD.
std::string valid_utf8(std::string_view text);

// The bits of `v` rounded to binary32 as a conversion would, but never raising a floating-point
// exception: a value beyond the binary32 range becomes an infinity of its sign, NaN the quiet NaN.
std::uint32_t binary32_bits(double v);

// Appends the standard base64 encoding (with padding) of `bytes` to `out`.
void append_base64(std::string& out, std::string_view bytes);

}  // namespace liftsim::html
