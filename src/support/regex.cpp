// The pattern dialect on PCRE2.
//
// The clean-up passes were written for a JScript-like engine. PCRE2 gives
// them the same meaning with the compile settings below plus four pieces of
// our own: a pattern translator, the global loop, the replacement expansion
// and the repeat-until-stable loop. Known small differences that no pattern
// of the system depends on: a character outside the BMP is one character (the
// dialect counted two UTF-16 units), U+2028/U+2029 are matched by a dot, and
// caseless matching folds a few more pairs (Kelvin sign, long s).

#include "support/regex.h"

#include "support/text_file.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

namespace tessarine::support {
namespace {

// ---------------------------------------------------------------------------
// Translator: dialect pattern text -> PCRE2 pattern text.

// Letters the dialect gives a meaning after a backslash. Any other letter
// after a backslash stands for itself there, while PCRE2 would give many of
// them a meaning of its own (\h, \R, \K, \Q, \A, \z, \p ...).
constexpr std::string_view kDialectEscapes = "bBcdDfnrsStuvwWx";

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

// Recognises the any-character idiom at `pos` (which holds "("): one of
// "(?:[^a]|a)", "(?:a|[^a])", "([^a]|a)", "(a|[^a])" for any single ASCII
// letter or digit. Returns the idiom's length, 0 when there is none.
size_t MatchAnyCharIdiom(std::string_view p, size_t pos, bool* capturing) {
  size_t i = pos + 1;
  *capturing = true;
  if (p.substr(i, 2) == "?:") {
    *capturing = false;
    i += 2;
  }
  auto is_unit = [](char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); };
  // "[^a]|a)"
  if (p.size() >= i + 7 && p.substr(i, 2) == "[^" && is_unit(p[i + 2]) && p[i + 3] == ']' &&
      p[i + 4] == '|' && p[i + 5] == p[i + 2] && p[i + 6] == ')') {
    return i + 7 - pos;
  }
  // "a|[^a])"
  if (p.size() >= i + 7 && is_unit(p[i]) && p[i + 1] == '|' && p.substr(i + 2, 2) == "[^" &&
      p[i + 4] == p[i] && p[i + 5] == ']' && p[i + 6] == ')') {
    return i + 7 - pos;
  }
  return 0;
}

// Rewrites the pattern once at compile time (see design notes on the regex
// dialect):
//  * "\v" is only the vertical tab in the dialect (PCRE2's \v also matches LF);
//  * a backslash before a letter the dialect does not define is that letter;
//  * "[" inside a set is a plain character (never a POSIX class);
//  * the any-character idiom becomes "[\s\S]" with the same result. A lazy
//    "(?:[^a]|a)*?" over a multi-megabyte comment otherwise exhausts any
//    reasonable backtracking stack, one frame per character.
std::string TranslatePattern(std::string_view p) {
  std::string out;
  out.reserve(p.size() + 16);
  bool in_set = false;
  size_t i = 0;
  while (i < p.size()) {
    const char c = p[i];
    if (c == '\\') {
      if (i + 1 >= p.size()) {  // a trailing backslash: let PCRE2 reject it
        out += c;
        ++i;
        continue;
      }
      const char d = p[i + 1];
      if (d == 'v') {
        out += "\\x0b";
      } else if (IsAsciiLetter(d) &&
                 (kDialectEscapes.find(d) == std::string_view::npos || (in_set && d == 'B'))) {
        out += d;
      } else {
        out += c;
        out += d;
      }
      i += 2;
      continue;
    }
    if (in_set) {
      if (c == ']') {
        in_set = false;
      } else if (c == '[') {
        out += "\\[";
        ++i;
        continue;
      }
      out += c;
      ++i;
      continue;
    }
    if (c == '[') {
      in_set = true;
      out += c;
      ++i;
      continue;
    }
    if (c == '(') {
      bool capturing = false;
      if (const size_t len = MatchAnyCharIdiom(p, i, &capturing)) {
        i += len;
        if (!capturing) {
          out += "[\\s\\S]";  // the quantifier, if any, follows unchanged
          continue;
        }
        // A capturing idiom keeps its group (and so every group number); the
        // group holds the last character taken, as before.
        const char q = i < p.size() ? p[i] : '\0';
        const bool lazy = i + 1 < p.size() && p[i + 1] == '?';
        if (q == '*') {
          out += lazy ? "(?:[\\s\\S]*?([\\s\\S]))??" : "(?:[\\s\\S]*([\\s\\S]))?";
          i += lazy ? 2 : 1;
        } else if (q == '+') {
          out += lazy ? "[\\s\\S]*?([\\s\\S])" : "[\\s\\S]*([\\s\\S])";
          i += lazy ? 2 : 1;
        } else {
          out += "([\\s\\S])";
        }
        continue;
      }
    }
    out += c;
    ++i;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Compiled patterns, cached by their text.

constexpr uint32_t kCompileOptions = PCRE2_UTF | PCRE2_CASELESS | PCRE2_DOLLAR_ENDONLY |
                                     PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS |
                                     PCRE2_ALT_BSUX;
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 8 * 1024 * 1024;
constexpr uint32_t kHeapLimitKiB = 256 * 1024;
// High enough never to stop an honest pass over a large page, low enough that
// a runaway backtracking pattern ends with an error instead of hanging.
constexpr uint32_t kMatchLimit = 2'000'000'000;
constexpr size_t kCacheLimit = 4096;
constexpr int kRepeatRoundLimit = 100'000;

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};

struct CompiledPattern {
  std::unique_ptr<pcre2_code, CodeDeleter> code;
  uint32_t group_count = 0;
  std::string source;  // the pattern as written, for error messages
};

std::string Abbreviate(std::string_view pattern) {
  constexpr size_t kShown = 80;
  if (pattern.size() <= kShown) return std::string(pattern);
  return std::string(pattern.substr(0, kShown)) + "...";
}

std::string ErrorText(int code) {
  std::array<PCRE2_UCHAR, 256> buffer{};
  pcre2_get_error_message(code, buffer.data(), buffer.size());
  return reinterpret_cast<const char*>(buffer.data());
}

Result<std::shared_ptr<const CompiledPattern>> Compile(std::string_view pattern) {
  static std::mutex mutex;
  static std::unordered_map<std::string, std::shared_ptr<const CompiledPattern>> cache;
  {
    std::lock_guard lock(mutex);
    if (auto it = cache.find(std::string(pattern)); it != cache.end()) return it->second;
  }

  const std::string translated = TranslatePattern(pattern);
  pcre2_compile_context* ctx = pcre2_compile_context_create(nullptr);
  // With the default (LF) a dot would match CR; with ANYCRLF it matches
  // neither, like the dialect.
  pcre2_set_newline(ctx, PCRE2_NEWLINE_ANYCRLF);
  int error_code = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* raw =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(),
                    kCompileOptions, &error_code, &error_offset, ctx);
  pcre2_compile_context_free(ctx);
  if (raw == nullptr) {
    return Status::Error(StatusCode::kInvalidInput,
                         "invalid regular expression (" + ErrorText(error_code) + " at offset " +
                             std::to_string(error_offset) + "): " + Abbreviate(pattern));
  }
  auto compiled = std::make_shared<CompiledPattern>();
  compiled->code.reset(raw);
  compiled->source = std::string(pattern);
  // Without JIT (unsupported CPU) the interpreter still gives the same results.
  pcre2_jit_compile(raw, PCRE2_JIT_COMPLETE);
  pcre2_pattern_info(raw, PCRE2_INFO_CAPTURECOUNT, &compiled->group_count);

  std::lock_guard lock(mutex);
  if (cache.size() >= kCacheLimit) cache.clear();
  auto [it, inserted] = cache.emplace(std::string(pattern), std::move(compiled));
  return it->second;
}

// One JIT stack and match context per thread, so a worker thread can run a
// build while another thread validates.
class ThreadMatchContext {
 public:
  ThreadMatchContext()
      : stack_(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr)),
        context_(pcre2_match_context_create(nullptr)) {
    pcre2_jit_stack_assign(context_, nullptr, stack_);
    pcre2_set_heap_limit(context_, kHeapLimitKiB);
    pcre2_set_match_limit(context_, kMatchLimit);
  }
  ~ThreadMatchContext() {
    pcre2_match_context_free(context_);
    pcre2_jit_stack_free(stack_);
  }
  ThreadMatchContext(const ThreadMatchContext&) = delete;
  ThreadMatchContext& operator=(const ThreadMatchContext&) = delete;

  pcre2_match_context* get() const { return context_; }

 private:
  pcre2_jit_stack* stack_;
  pcre2_match_context* context_;
};

pcre2_match_context* MatchContext() {
  thread_local ThreadMatchContext context;
  return context.get();
}

struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
using MatchData = std::unique_ptr<pcre2_match_data, MatchDataDeleter>;

// Length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
size_t Utf8SequenceLength(unsigned char b) {
  if (b >= 0xF0) return 4;
  if (b >= 0xE0) return 3;
  if (b >= 0xC0) return 2;
  return 1;
}

// Runs one pattern over one text, match after match, with the dialect's
// global loop: each search starts where the previous match ended; after an
// empty match the search moves one character on. The text's UTF-8 is
// validated by the first search only, and not at all when it is known to be
// valid: checking it on every search would make a global loop quadratic.
class MatchLoop {
 public:
  MatchLoop(const CompiledPattern& pattern, std::string_view text, bool known_valid)
      : pattern_(pattern),
        text_(text),
        data_(pcre2_match_data_create_from_pattern(pattern.code.get(), nullptr)),
        checked_(known_valid) {}

  // Finds the next match. Returns 1 for a match, 0 at the end, and sets
  // *error (returning -1) when the engine fails.
  int Next(Status* error) {
    if (done_) return 0;
    const uint32_t options = checked_ ? PCRE2_NO_UTF_CHECK : 0;
    const int rc = pcre2_match(pattern_.code.get(), reinterpret_cast<PCRE2_SPTR>(text_.data()),
                               text_.size(), position_, options, data_.get(), MatchContext());
    checked_ = true;
    if (rc == PCRE2_ERROR_NOMATCH) {
      done_ = true;
      return 0;
    }
    if (rc < 0) {
      done_ = true;
      *error = Status::Error(StatusCode::kResourceLimit, Describe(rc));
      return -1;
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_.get());
    start_ = ov[0];
    end_ = ov[1];
    if (end_ > start_) {
      position_ = end_;
    } else if (end_ < text_.size()) {
      position_ = end_ + Utf8SequenceLength(static_cast<unsigned char>(text_[end_]));
      position_ = std::min(position_, text_.size());
    } else {
      done_ = true;  // an empty match at the very end is the last one
    }
    return 1;
  }

  size_t start() const { return start_; }
  size_t end() const { return end_; }
  uint32_t group_count() const { return pattern_.group_count; }

  // Group n (0 = whole match); nullopt when it did not take part.
  std::optional<std::string_view> Group(uint32_t n) const {
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_.get());
    if (n > pattern_.group_count || ov[2 * n] == PCRE2_UNSET) return std::nullopt;
    return text_.substr(ov[2 * n], ov[2 * n + 1] - ov[2 * n]);
  }

 private:
  std::string Describe(int rc) const {
    std::string reason;
    switch (rc) {
      case PCRE2_ERROR_JIT_STACKLIMIT:
      case PCRE2_ERROR_HEAPLIMIT:
      case PCRE2_ERROR_DEPTHLIMIT:
        reason = "out of matching memory";
        break;
      case PCRE2_ERROR_MATCHLIMIT:
        reason = "match limit exceeded";
        break;
      default:
        reason = ErrorText(rc);
    }
    return "regular expression failed (" + reason + ") on a text of " +
           std::to_string(text_.size()) + " bytes; pattern: " + Abbreviate(pattern_.source);
  }

  const CompiledPattern& pattern_;
  std::string_view text_;
  MatchData data_;
  size_t position_ = 0;
  size_t start_ = 0;
  size_t end_ = 0;
  bool checked_;
  bool done_ = false;
};

// ---------------------------------------------------------------------------
// Replacement expansion.

struct ReplacementToken {
  enum Kind { kLiteral, kGroup, kMatch, kBefore, kAfter } kind = kLiteral;
  std::string literal;
  uint32_t group = 0;
};

// Parses a replacement once: $1..$9, $nn when nn names an existing group
// (else $n and a literal digit), $& the match, $` and $' the text before and
// after it, $$ a dollar. $0, a group number above the count and anything else
// are literal.
std::vector<ReplacementToken> ParseReplacement(std::string_view r, uint32_t group_count) {
  std::vector<ReplacementToken> tokens;
  auto literal = [&tokens](std::string_view s) {
    if (tokens.empty() || tokens.back().kind != ReplacementToken::kLiteral) tokens.emplace_back();
    tokens.back().literal.append(s);
  };
  auto special = [&tokens](ReplacementToken::Kind kind, uint32_t group = 0) {
    ReplacementToken t;
    t.kind = kind;
    t.group = group;
    tokens.push_back(std::move(t));
  };
  size_t i = 0;
  while (i < r.size()) {
    if (r[i] != '$' || i + 1 >= r.size()) {
      literal(r.substr(i, 1));
      ++i;
      continue;
    }
    const char d = r[i + 1];
    if (d == '$') {
      literal("$");
      i += 2;
    } else if (d == '&') {
      special(ReplacementToken::kMatch);
      i += 2;
    } else if (d == '`') {
      special(ReplacementToken::kBefore);
      i += 2;
    } else if (d == '\'') {
      special(ReplacementToken::kAfter);
      i += 2;
    } else if (IsAsciiDigit(d)) {
      const uint32_t one = static_cast<uint32_t>(d - '0');
      if (i + 2 < r.size() && IsAsciiDigit(r[i + 2])) {
        const uint32_t two = one * 10 + static_cast<uint32_t>(r[i + 2] - '0');
        if (two >= 1 && two <= group_count) {
          special(ReplacementToken::kGroup, two);
          i += 3;
          continue;
        }
      }
      if (one >= 1 && one <= group_count) {
        special(ReplacementToken::kGroup, one);
      } else {
        literal(r.substr(i, 2));
      }
      i += 2;
    } else {
      literal("$");
      ++i;
    }
  }
  return tokens;
}

void AppendReplacement(const std::vector<ReplacementToken>& tokens, const MatchLoop& loop,
                       std::string_view text, std::string* out) {
  for (const ReplacementToken& t : tokens) {
    switch (t.kind) {
      case ReplacementToken::kLiteral:
        out->append(t.literal);
        break;
      case ReplacementToken::kGroup:
        if (auto g = loop.Group(t.group)) out->append(*g);
        break;
      case ReplacementToken::kMatch:
        out->append(text.substr(loop.start(), loop.end() - loop.start()));
        break;
      case ReplacementToken::kBefore:
        out->append(text.substr(0, loop.start()));
        break;
      case ReplacementToken::kAfter:
        out->append(text.substr(loop.end()));
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// Services, each for a text that may still need its UTF-8 check and for one
// that is known to be valid.

Result<bool> Test(std::string_view pattern, std::string_view text, bool known_valid) {
  RegexMatcher matcher =
      known_valid ? RegexMatcher(pattern, ValidUtf8::Known(text)) : RegexMatcher(pattern, text);
  if (matcher.Next()) return true;
  if (!matcher.status()) return matcher.status();
  return false;
}

// The replaced text into `out` (its room reused); false, with `out`
// emptied, when nothing matched.
Result<bool> ReplaceInto(std::string_view text, std::string_view pattern,
                         std::string_view replacement, bool known_valid, std::string& out) {
  out.clear();
  auto compiled = Compile(pattern);
  if (!compiled) return compiled.status();
  // What a replacement puts in is valid only when the replacement is.
  if (known_valid && !IsValidUtf8(replacement)) {
    return Status::Error(StatusCode::kInvalidInput,
                         "replacement text is not valid UTF-8; pattern: " + Abbreviate(pattern));
  }
  const auto tokens = ParseReplacement(replacement, (*compiled)->group_count);
  MatchLoop loop(**compiled, text, known_valid);
  bool matched = false;
  size_t copied = 0;  // text before this offset is already in `out`
  Status error = Status::Ok();
  int rc = 0;
  while ((rc = loop.Next(&error)) == 1) {
    if (!matched) out.reserve(text.size());
    matched = true;
    out.append(text.substr(copied, loop.start() - copied));
    AppendReplacement(tokens, loop, text, &out);
    copied = loop.end();
  }
  if (rc < 0) {
    out.clear();
    return error;
  }
  if (!matched) return false;
  out.append(text.substr(copied));
  return true;
}

Result<std::string> Replace(std::string_view text, std::string_view pattern,
                            std::string_view replacement, bool known_valid) {
  std::string out;
  Result<bool> matched = ReplaceInto(text, pattern, replacement, known_valid, out);
  if (!matched) return matched.status();
  if (!*matched) return std::string(text);
  return out;
}

Result<std::string> ReplaceRepeat(std::string_view text, std::string_view pattern,
                                  std::string_view replacement, bool known_valid) {
  // Two strings take turns as a round's result, so the rounds over a long
  // text reuse their room.
  std::string current, next;
  Result<bool> matched = ReplaceInto(text, pattern, replacement, known_valid, current);
  if (!matched) return matched.status();
  if (!*matched || current == text) return std::string(text);
  // Every later round reads a result of the first: valid when the text was.
  for (int round = 1; round < kRepeatRoundLimit; ++round) {
    matched = ReplaceInto(current, pattern, replacement, known_valid, next);
    if (!matched) return matched.status();
    if (!*matched || next == current) return current;
    current.swap(next);
  }
  return Status::Error(StatusCode::kResourceLimit, "regular expression did not settle after " +
                                                       std::to_string(kRepeatRoundLimit) +
                                                       " rounds: " + Abbreviate(pattern));
}

Result<std::vector<OwnedMatch>> CopyMatches(RegexMatcher& matcher) {
  std::vector<OwnedMatch> matches;
  while (matcher.Next()) {
    const RegexMatch& m = matcher.match();
    OwnedMatch owned;
    owned.value = std::string(m.value);
    owned.offset = m.offset;
    owned.groups.reserve(m.groups.size());
    for (const auto& g : m.groups) {
      owned.groups.push_back(g ? std::optional<std::string>(std::string(*g)) : std::nullopt);
    }
    matches.push_back(std::move(owned));
  }
  if (!matcher.status()) return matcher.status();
  return matches;
}

Result<std::string> FirstGroup(RegexMatcher& matcher, int index) {
  if (!matcher.Next()) {
    if (!matcher.status()) return matcher.status();
    return std::string();
  }
  if (index < 0) return std::string();
  return std::string(matcher.match().Group(static_cast<size_t>(index)));
}

// The element the first match of `outer` starts; the tag scan reads a piece
// of the same text, so it is as valid as that text.
Result<std::string> GetElement(RegexMatcher& outer, std::string_view tag, bool known_valid) {
  if (!outer.Next()) {
    if (!outer.status()) return outer.status();
    return std::string();
  }
  const std::string_view value = outer.match().value;

  const std::string tag_pattern = "</?" + std::string(tag) + "[^>]*?>";
  RegexMatcher tags = known_valid ? RegexMatcher(tag_pattern, ValidUtf8::Known(value))
                                  : RegexMatcher(tag_pattern, value);
  int depth = 0;
  while (tags.Next()) {
    const RegexMatch& m = tags.match();
    depth += (m.value.size() > 1 && m.value[1] == '/') ? -1 : 1;
    if (depth == 0) return std::string(value.substr(0, m.offset + m.value.size()));
  }
  if (!tags.status()) return tags.status();
  return std::string(value);
}

}  // namespace

std::optional<ValidUtf8> ValidUtf8::Check(std::string_view text) {
  if (!IsValidUtf8(text)) return std::nullopt;
  return ValidUtf8(text);
}

ValidUtf8 ValidUtf8::Known(std::string_view text) {
  assert(IsValidUtf8(text));
  return ValidUtf8(text);
}

Result<bool> RegexpTest(std::string_view pattern, std::string_view text) {
  return Test(pattern, text, false);
}
Result<bool> RegexpTest(std::string_view pattern, ValidUtf8 text) {
  return Test(pattern, text.text(), true);
}

Result<std::string> RegexpSubMatch(std::string_view text, std::string_view pattern, int index) {
  RegexMatcher matcher(pattern, text);
  return FirstGroup(matcher, index);
}
Result<std::string> RegexpSubMatch(ValidUtf8 text, std::string_view pattern, int index) {
  RegexMatcher matcher(pattern, text);
  return FirstGroup(matcher, index);
}

Result<std::string> RegexpGetElement(std::string_view text, std::string_view tag,
                                     std::string_view pattern) {
  RegexMatcher outer(pattern, text);
  return GetElement(outer, tag, false);
}
Result<std::string> RegexpGetElement(ValidUtf8 text, std::string_view tag,
                                     std::string_view pattern) {
  RegexMatcher outer(pattern, text);
  return GetElement(outer, tag, true);
}

Result<std::string> RegexpReplace(std::string_view text, std::string_view pattern,
                                  std::string_view replacement) {
  return Replace(text, pattern, replacement, false);
}
Result<std::string> RegexpReplace(ValidUtf8 text, std::string_view pattern,
                                  std::string_view replacement) {
  return Replace(text.text(), pattern, replacement, true);
}

Result<bool> RegexpReplaceInto(ValidUtf8 text, std::string_view pattern,
                               std::string_view replacement, std::string& out) {
  return ReplaceInto(text.text(), pattern, replacement, true, out);
}

Result<std::string> RegexpReplaceRepeat(std::string_view text, std::string_view pattern,
                                        std::string_view replacement) {
  return ReplaceRepeat(text, pattern, replacement, false);
}
Result<std::string> RegexpReplaceRepeat(ValidUtf8 text, std::string_view pattern,
                                        std::string_view replacement) {
  return ReplaceRepeat(text.text(), pattern, replacement, true);
}

Result<std::vector<OwnedMatch>> RegexpExecute(std::string_view pattern, std::string_view text) {
  RegexMatcher matcher(pattern, text);
  return CopyMatches(matcher);
}
Result<std::vector<OwnedMatch>> RegexpExecute(std::string_view pattern, ValidUtf8 text) {
  RegexMatcher matcher(pattern, text);
  return CopyMatches(matcher);
}

// ---------------------------------------------------------------------------
// Match iteration.

struct RegexMatcher::Impl {
  std::shared_ptr<const CompiledPattern> pattern;
  std::optional<MatchLoop> loop;
};

RegexMatcher::RegexMatcher(std::string_view pattern, std::string_view text) : impl_(new Impl) {
  auto compiled = Compile(pattern);
  if (!compiled) {
    status_ = compiled.status();
    return;
  }
  impl_->pattern = *compiled;
  impl_->loop.emplace(*impl_->pattern, text, false);
}

RegexMatcher::RegexMatcher(std::string_view pattern, ValidUtf8 text) : impl_(new Impl) {
  auto compiled = Compile(pattern);
  if (!compiled) {
    status_ = compiled.status();
    return;
  }
  impl_->pattern = *compiled;
  impl_->loop.emplace(*impl_->pattern, text.text(), true);
}

RegexMatcher::~RegexMatcher() {
  delete impl_;
}

bool RegexMatcher::Next() {
  if (!impl_->loop) return false;
  MatchLoop& loop = *impl_->loop;
  Status error = Status::Ok();
  const int rc = loop.Next(&error);
  if (rc < 0) {
    status_ = error;
    return false;
  }
  if (rc == 0) return false;
  match_.value = *loop.Group(0);
  match_.offset = loop.start();
  match_.groups.resize(loop.group_count());
  for (uint32_t n = 1; n <= loop.group_count(); ++n) match_.groups[n - 1] = loop.Group(n);
  return true;
}

}  // namespace tessarine::support
