// Regular-expression services for every pattern the system runs.
//
// Patterns are written in the dialect of the clean-up passes (JScript-like):
// always case-insensitive and global, `^`/`$` anchor the whole text, a dot
// stops at CR and LF, `\w` and `\s` are ASCII classes, a back-reference to a
// group that did not take part matches the empty string, and a global loop
// advances one character past an empty match. The engine underneath is PCRE2
// with JIT; patterns are compiled once and cached by their text.
//
// Every service returns a Result: a pattern the engine rejects or a match that
// runs out of resources is an error naming the pattern, never "no match", so a
// clean-up pass can never be skipped silently.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace tessarine::support {

// True when the pattern matches anywhere in the text.
Result<bool> RegexpTest(std::string_view pattern, std::string_view text);

// Capture group `index` (0 is the first group) of the first match; empty text
// when nothing matches or the group did not take part.
Result<std::string> RegexpSubMatch(std::string_view text, std::string_view pattern, int index);

// One complete element cut out of the text: the first match of `pattern`
// (which starts at the element's opening tag and runs to the last end tag),
// cut just after the end tag that closes the opening one, counting nested
// tags whose name begins with `tag`. Without a balancing end tag the whole
// match; without a match, empty text.
Result<std::string> RegexpGetElement(std::string_view text, std::string_view tag,
                                     std::string_view pattern);

// Every match replaced, left to right in one pass. The replacement knows
// $1..$99, $&, $`, $' and $$; anything else is literal.
Result<std::string> RegexpReplace(std::string_view text, std::string_view pattern,
                                  std::string_view replacement);

// RegexpReplace again and again until the text stops changing.
Result<std::string> RegexpReplaceRepeat(std::string_view text, std::string_view pattern,
                                        std::string_view replacement);

struct RegexMatch {
  std::string_view value;  // points into the searched text
  size_t offset = 0;       // byte offset of the match in the searched text
  // groups[n] is capture group n+1; nullopt when the group did not take part.
  std::vector<std::optional<std::string_view>> groups;

  // The text of group n+1, or empty when it did not take part.
  std::string_view Group(size_t n) const {
    return n < groups.size() && groups[n] ? *groups[n] : std::string_view();
  }
};

// Walks the non-overlapping matches of a pattern left to right, for stages
// that process matches themselves. The text must outlive the iterator.
//
//   RegexMatcher m(pattern, text);
//   while (m.Next()) use(m.match());
//   if (!m.status()) report(m.status());
class RegexMatcher {
 public:
  RegexMatcher(std::string_view pattern, std::string_view text);
  ~RegexMatcher();
  RegexMatcher(const RegexMatcher&) = delete;
  RegexMatcher& operator=(const RegexMatcher&) = delete;

  // Advances to the next match; false at the end or on an error.
  bool Next();
  const RegexMatch& match() const { return match_; }
  // Ok unless the pattern was rejected or a match ran out of resources.
  const Status& status() const { return status_; }

 private:
  struct Impl;
  Impl* impl_;
  RegexMatch match_;
  Status status_ = Status::Ok();
};

// All matches at once (value, offset and groups copied out).
struct OwnedMatch {
  std::string value;
  size_t offset = 0;
  std::vector<std::optional<std::string>> groups;
};
Result<std::vector<OwnedMatch>> RegexpExecute(std::string_view pattern, std::string_view text);

}  // namespace tessarine::support
