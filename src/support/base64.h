// Base64 as used by ODF's binary data, data: URLs and MIME bodies.
#pragma once

#include <string>
#include <string_view>

namespace tessarine::support {

std::string EncodeBase64(std::string_view bytes);

// Skips white space and fails (returns false) on any other character outside
// the alphabet, and on data after the padding.
bool DecodeBase64(std::string_view text, std::string& bytes);

// A MIME body's reading: every character outside the alphabet is skipped and
// the first "=" ends the data.
std::string DecodeBase64Lenient(std::string_view text);

}  // namespace tessarine::support
