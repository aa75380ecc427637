// The regular-expression services on arbitrary patterns, replacements and
// texts: each call returns a result or an error naming the pattern, never a
// crash, a hang or a sanitizer report. The input is pattern, replacement and
// text separated by NUL bytes. Seeds: Word's own HTML.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "support/regex.h"

namespace {

std::string_view NextPiece(std::string_view& rest) {
  const size_t end = rest.find('\0');
  const std::string_view piece = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return piece;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace support = tessarine::support;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string_view pattern = NextPiece(rest);
  const std::string_view replacement = NextPiece(rest);
  std::string_view text = rest;
  // A seed without separators is a text for the patterns the clean-up uses.
  if (replacement.empty() && text.empty()) {
    text = pattern;
    pattern = R"(<([a-z]+)[^>]*>(.*?)</\1>|\s+style='[^']*'|&nbsp;)";
  }
  const auto test = support::RegexpTest(pattern, text);
  const auto replaced = support::RegexpReplace(text, pattern, replacement);
  if (test.ok() != replaced.ok()) std::abort();  // one verdict on a pattern
  if (!test.ok()) {
    if (test.message().empty()) std::abort();
    return 0;
  }
  if (!*test && replaced.ok() && *replaced != text) std::abort();  // no match, no change
  // Only that they end, without a crash or a sanitizer report: any result will do.
  (void)support::RegexpSubMatch(text, pattern, 0);
  (void)support::RegexpGetElement(text, "div", pattern);
  (void)support::RegexpExecute(pattern, text);
  support::RegexMatcher matcher(pattern, text);
  size_t last_end = 0;
  while (matcher.Next()) {
    const auto& match = matcher.match();
    if (match.offset < last_end || match.offset + match.value.size() > text.size()) std::abort();
    last_end = match.offset + match.value.size();
  }
  return 0;
}
