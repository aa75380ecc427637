#include "support/base64.h"

namespace tessarine::support {
namespace {

// The value of one character of the alphabet; -1 for any other.
int DigitOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned value = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
    text += kAlphabet[value >> 18];
    text += kAlphabet[(value >> 12) & 63];
    text += kAlphabet[(value >> 6) & 63];
    text += kAlphabet[value & 63];
  }
  if (i < bytes.size()) {
    unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    text += kAlphabet[value >> 18];
    text += kAlphabet[(value >> 12) & 63];
    text += i + 1 < bytes.size() ? kAlphabet[(value >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

bool DecodeBase64(std::string_view text, std::string& bytes) {
  bytes.clear();
  bytes.reserve(text.size() / 4 * 3);
  unsigned value = 0;
  int bits = 0;
  bool padding = false;
  for (char c : text) {
    const int digit = DigitOf(c);
    if (digit < 0) {
      if (c == '=') {
        padding = true;
        continue;
      }
      if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
      return false;
    }
    if (padding) return false;  // data after the padding
    value = ((value << 6) | static_cast<unsigned>(digit)) & 0xFFFFFFu;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes += static_cast<char>((value >> bits) & 0xFF);
    }
  }
  return true;
}

std::string DecodeBase64Lenient(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  unsigned value = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const int digit = DigitOf(c);
    if (digit < 0) continue;
    value = ((value << 6) | static_cast<unsigned>(digit)) & 0xFFFFFFu;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((value >> bits) & 0xFF);
    }
  }
  return out;
}

}  // namespace tessarine::support
