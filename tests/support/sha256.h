// SHA-256 of a byte string, for comparing run outputs with a manifest of digests.
#pragma once

#include <string>
#include <string_view>

namespace liftsim::testing {

// The digest as 64 lower-case hexadecimal digits, as sha256sum prints it.
std::string sha256_hex(std::string_view bytes);

}  // namespace liftsim::testing
