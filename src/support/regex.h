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

// A view of text whose UTF-8 is known to be well formed. Every service below
// also takes one in place of a plain view: for a plain view the engine checks
// the text before the first search of each call, which reads the whole text,
// and a clean-up that runs dozens of patterns over one page would read it
// dozens of times. A stage checks its input once (Check) and runs its
// patterns over the result and over what they make of it: a replacement on
// valid text with a valid replacement is valid again, and so is any piece of
// it cut at an ASCII character. The view does not own the text.
class ValidUtf8 {
 public:
  // The text when its UTF-8 is well formed; nullopt otherwise (the services
  // then fail on it when given it as a plain view, naming the fault).
  static std::optional<ValidUtf8> Check(std::string_view text);
  // Text that is valid by construction: made of valid pieces by this
  // system. Never for text read from outside; a debug build checks anyway.
  static ValidUtf8 Known(std::string_view text);

  std::string_view text() const { return text_; }

 private:
  explicit ValidUtf8(std::string_view text) : text_(text) {}
  std::string_view text_;
};

// True when the pattern matches anywhere in the text.
Result<bool> RegexpTest(std::string_view pattern, std::string_view text);
Result<bool> RegexpTest(std::string_view pattern, ValidUtf8 text);

// Capture group `index` (0 is the first group) of the first match; empty text
// when nothing matches or the group did not take part.
Result<std::string> RegexpSubMatch(std::string_view text, std::string_view pattern, int index);
Result<std::string> RegexpSubMatch(ValidUtf8 text, std::string_view pattern, int index);

// One complete element cut out of the text: the first match of `pattern`
// (which starts at the element's opening tag and runs to the last end tag),
// cut just after the end tag that closes the opening one, counting nested
// tags whose name begins with `tag`. Without a balancing end tag the whole
// match; without a match, empty text.
Result<std::string> RegexpGetElement(std::string_view text, std::string_view tag,
                                     std::string_view pattern);
Result<std::string> RegexpGetElement(ValidUtf8 text, std::string_view tag,
                                     std::string_view pattern);

// Every match replaced, left to right in one pass. The replacement knows
// $1..$99, $&, $`, $' and $$; anything else is literal. For valid text the
// result is valid too: a replacement that is not well-formed UTF-8 fails.
Result<std::string> RegexpReplace(std::string_view text, std::string_view pattern,
                                  std::string_view replacement);
Result<std::string> RegexpReplace(ValidUtf8 text, std::string_view pattern,
                                  std::string_view replacement);

// RegexpReplace into `out`, whose room is reused: for a long text run
// through many patterns, a fresh string per pattern would have the system
// hand out (and clear) new pages every time. False, with `out` empty, when
// nothing matched: the text stays as it is, uncopied. `out` must not be
// the text's own storage.
Result<bool> RegexpReplaceInto(ValidUtf8 text, std::string_view pattern,
                               std::string_view replacement, std::string& out);

// RegexpReplace again and again until the text stops changing.
Result<std::string> RegexpReplaceRepeat(std::string_view text, std::string_view pattern,
                                        std::string_view replacement);
Result<std::string> RegexpReplaceRepeat(ValidUtf8 text, std::string_view pattern,
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
  RegexMatcher(std::string_view pattern, ValidUtf8 text);
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
Result<std::vector<OwnedMatch>> RegexpExecute(std::string_view pattern, ValidUtf8 text);

}  // namespace tessarine::support
