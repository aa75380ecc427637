// SHA-256 of a byte string, for naming cached files by their content.
#pragma once

#include <string>
#include <string_view>

namespace tessarine::support {

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace tessarine::support
