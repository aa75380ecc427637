#include "cleanup/cleanup.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <utility>

#include "support/regex.h"

namespace tessarine::cleanup {
namespace {

using support::Result;
using support::Status;

constexpr std::string_view kFlagOn = "1";

bool IsOn(std::string_view flag) {
  return flag == kFlagOn;
}

// A pass as written: pattern beside replacement. "[^a]|a" stands for any
// character, line breaks included, which a dot would not match; where it is
// a capturing group it counts in the "$n" numbering of the replacement.
struct Pass {
  std::string_view name;
  std::string_view pattern;
  std::string_view replacement;
  PassRounds rounds = PassRounds::kOnce;
  // A pattern that every match contains, found far faster than the match
  // itself (see CleanupPass::needle).
  std::string_view needle = {};
  // Text every match holds (see CleanupPass::marker).
  std::string_view marker = {};
};

constexpr PassRounds kOnce = PassRounds::kOnce;
constexpr PassRounds kUntilStable = PassRounds::kUntilStable;
// Only for patterns in which no part but the last can match ">"; see
// PassRounds.
constexpr PassRounds kUntilStableByTag = PassRounds::kUntilStableByTag;

// --- Home page, every mode ---------------------------------------------------

// Word's own table of contents: the generated one replaces it.
constexpr Pass kWordTocParagraphs = {
    "Word's contents paragraphs",
    R"re(<p class=MsoToc[^>]*?>((?:[^a]|a)*?)</p>)re",
    "",
    kOnce,
};

// --- Common passes, selective and all-clear ----------------------------------

constexpr Pass kEmptyParagraphMarks = {
    "empty paragraph marks",
    R"re(<o:p>(&nbsp;)*</o:p>)re",
    "",
    kOnce,
};
constexpr Pass kEmptySpans = {
    "empty spans",
    R"re(<span[^>]*?></span>)re",
    "",
    kOnce,
};
// Word keeps a zero-height row in tables with merged cells for browsers that
// cannot align columns (ky.htm of the samples).
constexpr Pass kMisalignedColumnsRow = {
    "zero-height table row",
    R"re(<!\[if !supportMisalignedColumns\]>([^a]|a)+?<tr height=0>([^a]|a)+?<!\[endif\]>)re",
    "",
    kOnce,
};
constexpr Pass kWordOnlyBlocks = {
    "blocks for Word only",
    R"re(<!--\[if mso[^>]*?>([^a]|a)*?<!\[endif\]-->)re",
    "",
    kOnce,
};
// Word writes VML drawings inside conditional comments, so they go here too.
constexpr Pass kComments = {
    "comments",
    R"re(<!--([^a]|a)*?-->)re",
    "",
    kOnce,
};

// --- Selective mode ------------------------------------------------------------

constexpr Pass kVmlFallbackKept = {
    "VML image fallback unwrapped",
    R"re(<!\[if !vml\]>(([^a]|a)+?)<!\[endif\]>)re",
    "$1",
    kOnce,
};
constexpr Pass kVmlFallbackRemoved = {
    "VML image fallback removed",
    R"re(<!\[if !vml\]>([^a]|a)+?<!\[endif\]>)re",
    "",
    kOnce,
};
constexpr Pass kSmartTags = {
    "smart tags unwrapped",
    R"re(<(st[0-9]+:\w+)[^>]*?>((?:[^a]|a)+?)</\1>)re",
    "$2",
    kOnce,
};
// Most pages have no absolute position and no negative offset, while these
// passes try every tag of a page: their needles let such pages go by.
constexpr Pass kAbsolutePosition = {
    "absolute positioning",
    R"re(<(\w[^>]*?style=[^>]*?)position:\s*?absolute([^>]*?)>)re",
    "<$1$2>",
    kOnce,
    R"re(position:\s*absolute)re",
};
// Paragraphs with attributes that hold only tags and non-breaking spaces.
// A picture is not an empty line: "(?!img)" keeps a paragraph that holds
// nothing but an image (Word's usual way of placing a picture) from being
// removed with its picture.
constexpr Pass kEmptyParagraphs = {
    "empty paragraphs",
    R"re(<p\s+?[^>]*?>(<(?!img)\w[^>]*?>)*?(&nbsp;)*?(</\w[^>]*?>)*?</p>)re",
    "",
    kOnce,
};
// Equation Editor objects come as images in subscripts: the image's own
// style goes with the subscript, and it is centred on the line instead.
constexpr Pass kEquationImageStyle = {
    "equation image style",
    R"re((<sub><img\s+?[^>]*?)style=['"][^>]*?['"]([^>]*?></sub>))re",
    "$1$2",
    kOnce,
};
constexpr Pass kEquationSubscript = {
    "equation image centred",
    R"re(<sub>(<img)(\s+?[^>]*?>)</sub>)re",
    R"re($1 style="vertical-align:middle;"$2)re",
    kOnce,
};
// Nothing may stick out to the left of the page.
constexpr Pass kNegativeMarginLeft = {
    "negative left margins",
    R"re((<\w+[^>]*?\sstyle=[^>]*?)margin-left:\s*?-[0-9\.]+([^>]*?>))re",
    "$1margin-left:0$2",
    kOnce,
    R"re(margin-left:\s*-)re",
};
constexpr Pass kNegativeLeft = {
    "negative left offsets",
    R"re((<\w+[^>]*?\sstyle=[^>]*?)left:\s*?-[0-9\.]+([^>]*?>))re",
    "$1left:0$2",
    kOnce,
    R"re(left:\s*-)re",
};
// One run of mso- declarations per tag and round, so they run to a fixed
// point: Word interleaves them with declarations a browser needs.
constexpr Pass kMsoDeclarationsSingleQuoted = {
    "mso- declarations ('...')",
    R"re((<\w+\s+[^>]*?style='[^'>]*?)(mso-[\w\-]+:[^;'>]+;?)+([^'>]*?'[^>]*?>))re",
    "$1$3",
    kUntilStableByTag,
    {},
    "mso-",
};
constexpr Pass kMsoDeclarationsDoubleQuoted = {
    "mso- declarations (\"...\")",
    R"re((<\w+\s+[^>]*?style="[^">]*?)(mso-[\w\-]+:[^;">]+;?)+([^">]*?"[^>]*?>))re",
    "$1$3",
    kUntilStableByTag,
    {},
    "mso-",
};
constexpr Pass kEmptyStyle = {
    "empty style attributes",
    R"re((<\w+\s+[^>]*?)style=(['"])\s*?\2([^>]*?>))re",
    "$1$3",
    kOnce,
};
constexpr Pass kLangAttributes = {
    "lang attributes",
    R"re((<\w+[^>]*?)\slang=[\w\-]+([^>]*?>))re",
    "$1$2",
    kOnce,
};
constexpr Pass kVmlShapeReference = {
    "image's VML shape reference",
    R"re((<img[^>]*?)\sv:shapes="[^<>"]*"([^>]*?>))re",
    "$1$2",
    kOnce,
};

// --- All-clear mode ------------------------------------------------------------

constexpr Pass kClearVmlFallback = kVmlFallbackKept;
constexpr Pass kClearUnquotedClass = {
    "class attributes",
    R"re((<\w+?\s+?[^>]*?)class=\w*([^>]*?>))re",
    "$1$2",
    kOnce,
};
constexpr Pass kClearSingleQuotedStyle = {
    "style attributes ('...')",
    R"re((<\w+?\s+?[^>]*?)style='[^<>']*'([^>]*?>))re",
    "$1$2",
    kOnce,
};
constexpr Pass kClearDoubleQuotedStyle = {
    "style attributes (\"...\")",
    R"re((<\w+?\s+?[^>]*?)style=\"[^<>\"]*\"([^>]*?>))re",
    "$1$2",
    kOnce,
};
constexpr Pass kClearLang = {
    "lang attributes",
    R"re((<\w+?\s+?[^>]*?)lang=\w*([^>]*?>))re",
    "$1$2",
    kOnce,
};
constexpr Pass kClearVmlShapeReference = kVmlShapeReference;
// The tag filter removes every tag whose name (with the slash of an end tag)
// does not begin with a kept name; the names match as prefixes, so "p" keeps
// "pre" too. Its pattern is assembled from the options (TagFilterPattern).
constexpr std::string_view kTagFilterName = "tags not kept";
constexpr std::string_view kTagFilterStart = "<(?!(";
constexpr std::string_view kTagFilterEnd = "))+?[^>]*?>";
constexpr std::string_view kKeepParagraphs = "p|/p|br";
constexpr std::string_view kKeepSubSup = "|sub|sup|/sub|/sup";
constexpr std::string_view kKeepImages = "|img";
constexpr std::string_view kKeepTables = "|table|tr|td|th|/table|/tr|/td|/th";
// MathML, for equations written as formulas rather than pictures: "math" and
// the element names by their first two letters (mi, mn, mo, mrow, msub,
// mfrac, mtable, munder, mpadded, mmultiscripts, ...), none of which begins
// an HTML element; "menclose" and "merror" in full, as "me" would keep "meta".
constexpr std::string_view kKeepMath =
    "|math|/math|mi|/mi|mn|/mn|mo|/mo|ms|/ms|mt|/mt|mr|/mr|mf|/mf|mp|/mp|mu|/mu|mm|/mm"
    "|menclose|/menclose|merror|/merror|semantics|/semantics|annotation|/annotation|none";
constexpr Pass kClearEquationSubscript = kEquationSubscript;
constexpr Pass kClearTableBorders = {
    "table borders",
    R"re((<table)([^>]*?>))re",
    R"re($1 style="border-collapse:collapse;" border=1 bordercolor="#000000"$2)re",
    kOnce,
};
constexpr Pass kClearFirstLineIndent = {
    "first-line indent",
    R"re((<p)([^>]*?>))re",
    R"re($1 style="text-indent:2em;"$2)re",
    kOnce,
};
// Paragraphs become line breaks; an indent added above goes with the tags.
constexpr Pass kClearParagraphStarts = {
    "paragraph start tags",
    R"re(<p[^>]*?>)re",
    "",
    kOnce,
};
constexpr Pass kClearParagraphEnds = {
    "paragraph ends to line breaks",
    R"re(</p>)re",
    "<br>",
    kOnce,
};
constexpr Pass kClearWhiteSpaceInTags = {
    "white-space runs in tags",
    R"re((<\w[^>]*?)\s\s+([^>]*?>))re",
    "$1 $2",
    kUntilStableByTag,
};
constexpr Pass kClearBlankBeforeTagEnd = {
    "blank before tag end",
    R"re((<\w[^>]*?)\s>)re",
    "$1>",
    kOnce,
};

// --- Closing passes, selective and all-clear -----------------------------------

constexpr Pass kBlanksAfterTagName = {
    "blanks after a bare tag name",
    R"re((<\w+)\s+>)re",
    "$1>",
    kOnce,
};
// An empty paragraph or cell would collapse in a browser; Word shows it with
// the height of a line.
constexpr Pass kEmptyParagraphHeight = {
    "empty paragraph height",
    R"re((<p(?:\s+[^>]*)?>)(</p>))re",
    "$1&nbsp;$2",
    kOnce,
};
// Spans become empty only once the spans inside them are gone.
constexpr Pass kEmptySpanPairs = {
    "empty span pairs",
    R"re(<span(?:\s+[^>]*)?></span>)re",
    "",
    kUntilStable,
};
constexpr Pass kEmptyCellHeight = {
    "empty cell height",
    R"re((<td(?:\s+[^>]*)?>)(</td>))re",
    "$1&nbsp;$2",
    kOnce,
};
constexpr Pass kEmptyHeaderCellHeight = {
    "empty header cell height",
    R"re((<th(?:\s+[^>]*)?>)(</th>))re",
    "$1&nbsp;$2",
    kOnce,
};

// --- Pass lists ----------------------------------------------------------------

constexpr Pass kCommonPasses[] = {
    kEmptyParagraphMarks, kEmptySpans, kMisalignedColumnsRow, kWordOnlyBlocks, kComments,
};

// The header and footer share these with the selective mode.
constexpr Pass kStyleTidyPasses[] = {
    kMsoDeclarationsSingleQuoted,
    kMsoDeclarationsDoubleQuoted,
    kEmptyStyle,
    kLangAttributes,
};

constexpr Pass kClosingPasses[] = {
    kBlanksAfterTagName, kEmptyParagraphHeight,  kEmptySpanPairs,
    kEmptyCellHeight,    kEmptyHeaderCellHeight,
};

CleanupPass Use(const Pass& pass) {
  return CleanupPass{pass.name,        std::string(pass.pattern),
                     pass.replacement, pass.rounds,
                     pass.needle,      pass.marker};
}

template <size_t N>
void Append(std::vector<CleanupPass>& list, const Pass (&passes)[N]) {
  for (const Pass& pass : passes) list.push_back(Use(pass));
}

std::string TagFilterPattern(const CleanupOptions& options) {
  std::string keep(kKeepParagraphs);
  keep += kKeepSubSup;
  if (options.Opt2Image) keep += kKeepImages;
  if (options.Opt2Table) keep += kKeepTables;
  // Equation images are pictures too; they survive even without Opt2Image.
  if (options.Opt2EQ && !options.Opt2Image) keep += kKeepImages;
  if (options.Opt2EQ) keep += kKeepMath;
  return std::string(kTagFilterStart) + keep + std::string(kTagFilterEnd);
}

void AppendSelectivePasses(std::vector<CleanupPass>& list, const CleanupOptions& options) {
  list.push_back(Use(options.Opt1VML ? kVmlFallbackKept : kVmlFallbackRemoved));
  list.push_back(Use(kSmartTags));
  if (options.Opt1Absolute) list.push_back(Use(kAbsolutePosition));
  if (options.Opt1Space) list.push_back(Use(kEmptyParagraphs));
  if (options.Opt1EQ) {
    list.push_back(Use(kEquationImageStyle));
    list.push_back(Use(kEquationSubscript));
  }
  if (options.Opt1Margin) {
    list.push_back(Use(kNegativeMarginLeft));
    list.push_back(Use(kNegativeLeft));
  }
  Append(list, kStyleTidyPasses);
  list.push_back(Use(kVmlShapeReference));
}

void AppendAllClearPasses(std::vector<CleanupPass>& list, const CleanupOptions& options) {
  list.push_back(Use(kClearVmlFallback));
  list.push_back(Use(kClearUnquotedClass));
  list.push_back(Use(kClearSingleQuotedStyle));
  list.push_back(Use(kClearDoubleQuotedStyle));
  list.push_back(Use(kClearLang));
  list.push_back(Use(kClearVmlShapeReference));
  list.push_back(CleanupPass{kTagFilterName, TagFilterPattern(options), "", kOnce, {}, {}});
  if (options.Opt2EQ) list.push_back(Use(kClearEquationSubscript));
  if (options.Opt2Table) list.push_back(Use(kClearTableBorders));
  if (options.Opt2Indent) list.push_back(Use(kClearFirstLineIndent));
  if (options.Opt2PtoBR) {
    list.push_back(Use(kClearParagraphStarts));
    list.push_back(Use(kClearParagraphEnds));
  }
  list.push_back(Use(kClearWhiteSpaceInTags));
  list.push_back(Use(kClearBlankBeforeTagEnd));
}

// The text cut after every ">"; the last piece holds what follows the last
// ">" (possibly nothing).
std::vector<std::string_view> PiecesEndingAtTagEnds(std::string_view text) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t end = text.find('>'); end != std::string_view::npos; end = text.find('>', start)) {
    pieces.push_back(text.substr(start, end + 1 - start));
    start = end + 1;
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

// A text on its way through the passes, and whether its UTF-8 is known to
// be valid. A clean-up checks its input once; each pass's result is valid
// again (the replacements are), and so is every piece of it cut after a
// ">", so the regex services need not check the page before every pattern.
// Text that fails the check goes to the services as it is, and the first
// pass fails on it naming the fault.
struct PassText {
  std::string_view text;
  bool valid = false;

  static PassText Checked(std::string_view text) {
    return PassText{text, support::ValidUtf8::Check(text).has_value()};
  }
  PassText With(std::string_view other) const { return PassText{other, valid}; }
};

Result<std::string> Replace(PassText text, std::string_view pattern, std::string_view replacement) {
  return text.valid
             ? support::RegexpReplace(support::ValidUtf8::Known(text.text), pattern, replacement)
             : support::RegexpReplace(text.text, pattern, replacement);
}

Result<std::string> ReplaceRepeat(PassText text, std::string_view pattern,
                                  std::string_view replacement) {
  return text.valid ? support::RegexpReplaceRepeat(support::ValidUtf8::Known(text.text), pattern,
                                                   replacement)
                    : support::RegexpReplaceRepeat(text.text, pattern, replacement);
}

Result<bool> Test(PassText text, std::string_view pattern) {
  return text.valid ? support::RegexpTest(pattern, support::ValidUtf8::Known(text.text))
                    : support::RegexpTest(pattern, text.text);
}

// True when `text` holds `marker` (lower-case ASCII ending in a character
// that is no letter, such as "mso-") in any letter case. The last character
// is looked for first, which skips most of a tag at library speed.
bool HoldsIgnoringCase(std::string_view text, std::string_view marker) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  const size_t last = marker.size() - 1;
  for (size_t at = text.find(marker[last], last); at != std::string_view::npos;
       at = text.find(marker[last], at + 1)) {
    size_t k = 0;
    while (k < last && lower(text[at - last + k]) == marker[k]) ++k;
    if (k == last) return true;
  }
  return false;
}

// `visit(start, piece)` for every piece of `text` that ends at a ">" (see
// PiecesEndingAtTagEnds), without the rest after the last one; no list of
// them is made, as a long page has millions.
template <typename Visit>
void ForEachTagPiece(std::string_view text, Visit visit) {
  size_t start = 0;
  for (size_t end = text.find('>'); end != std::string_view::npos; end = text.find('>', start)) {
    visit(start, text.substr(start, end + 1 - start));
    start = end + 1;
  }
}

// Pieces of a text (see PiecesEndingAtTagEnds) by their number or their
// offset, their texts one after another in one string: a large table has
// millions of tags, and a string of its own for each would take several
// times the page.
class PieceSet {
 public:
  void Add(size_t index, std::string_view piece) {
    index_.push_back(index);
    text_ += piece;
    end_.push_back(text_.size());
  }
  // Room for `bytes` of pieces taken at once: a set grown piece by piece
  // copies its text at every doubling, into memory fresh from the system.
  // Room never written costs no memory.
  void Reserve(size_t bytes) { text_.reserve(bytes); }
  size_t size() const { return index_.size(); }
  bool empty() const { return index_.empty(); }
  size_t index(size_t k) const { return index_[k]; }
  std::string_view piece(size_t k) const {
    const size_t start = k == 0 ? 0 : end_[k - 1];
    return std::string_view(text_).substr(start, end_[k] - start);
  }
  const std::string& joined() const { return text_; }

 private:
  std::vector<size_t> index_;
  std::vector<size_t> end_;
  std::string text_;
};

// Further rounds over the `changing` pieces, joined, until none changes;
// every piece ends in `settled`. False when a round's result cannot be cut
// back into the pieces (the caller then takes the plain loop).
Result<bool> SettlePieces(PassText text, std::string_view pattern, std::string_view replacement,
                          PieceSet changing, PieceSet& settled) {
  while (!changing.empty()) {
    Result<std::string> next = Replace(text.With(changing.joined()), pattern, replacement);
    if (!next) return next.status();
    if (*next == changing.joined()) break;
    const std::vector<std::string_view> pieces = PiecesEndingAtTagEnds(*next);
    // The joined text ends at a ">", so its last piece is the empty rest.
    if (pieces.size() != changing.size() + 1) return false;
    PieceSet still_changing;
    for (size_t k = 0; k < changing.size(); ++k) {
      if (pieces[k] == changing.piece(k)) {
        settled.Add(changing.index(k), pieces[k]);
      } else {
        still_changing.Add(changing.index(k), pieces[k]);
      }
    }
    changing = std::move(still_changing);
  }
  for (size_t k = 0; k < changing.size(); ++k) settled.Add(changing.index(k), changing.piece(k));
  return true;
}

// `text` with each settled piece in place of the piece of the text that
// starts at the settled one's index.
std::string ReassembleAt(std::string_view text, const PieceSet& settled) {
  std::vector<size_t> order(settled.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return settled.index(a) < settled.index(b); });
  std::string out;
  out.reserve(text.size());
  size_t copied = 0;  // text before this offset is in `out`, or replaced there
  for (const size_t k : order) {
    const size_t start = settled.index(k);
    out.append(text.substr(copied, start - copied));
    out += settled.piece(k);
    copied = text.find('>', start) + 1;
  }
  out.append(text.substr(copied));
  return out;
}

// kUntilStableByTag: the first round over the whole text (or, with a
// marker, over the pieces that hold it, joined), further rounds over the
// changed pieces only, joined. A match cannot reach across the ">" that ends
// a piece, so a round over the joined pieces changes each of them exactly as
// a round over the whole text would, and a piece without the marker holds
// no match. Word's busiest style attributes need a round per run of mso-
// declarations; this way those rounds read a few tags instead of the whole
// body each time, and the first reads only the tags that have any.
Result<std::string> RunUntilStableByTag(PassText text, const CleanupPass& pass) {
  const std::string_view pattern = pass.pattern;
  const std::string_view replacement = pass.replacement;
  if (!pass.marker.empty()) {
    // Marked pieces by where they start in the text; the text after the
    // last ">" holds no ">", so no match.
    PieceSet marked;
    marked.Reserve(text.text.size());
    ForEachTagPiece(text.text, [&](size_t start, std::string_view piece) {
      if (HoldsIgnoringCase(piece, pass.marker)) marked.Add(start, piece);
    });
    if (marked.empty()) return std::string(text.text);
    Result<std::string> first = Replace(text.With(marked.joined()), pattern, replacement);
    if (!first) return first;
    if (*first == marked.joined()) return std::string(text.text);
    PieceSet changing;
    changing.Reserve(first->size());
    size_t k = 0;
    ForEachTagPiece(*first, [&](size_t, std::string_view piece) {
      if (k < marked.size() && piece != marked.piece(k)) changing.Add(marked.index(k), piece);
      ++k;
    });
    if (k != marked.size()) return ReplaceRepeat(text, pattern, replacement);
    marked = PieceSet();
    PieceSet settled;
    Result<bool> cut = SettlePieces(text, pattern, replacement, std::move(changing), settled);
    if (!cut) return cut.status();
    if (!*cut) return ReplaceRepeat(text, pattern, replacement);
    return ReassembleAt(text.text, settled);
  }

  Result<std::string> first = Replace(text, pattern, replacement);
  if (!first || *first == text.text) return first;
  // The changed pieces of the result, by where they start in it, found by
  // walking both texts piece by piece.
  PieceSet changing;
  size_t before = 0;  // where the text's next piece starts
  bool aligned = true;
  ForEachTagPiece(*first, [&](size_t start, std::string_view piece) {
    const size_t end = aligned ? text.text.find('>', before) : std::string_view::npos;
    if (end == std::string_view::npos) {
      aligned = false;
      return;
    }
    if (piece != text.text.substr(before, end + 1 - before)) changing.Add(start, piece);
    before = end + 1;
  });
  // Pieces that do not pair up, or a change after the last ">", cannot
  // happen for the patterns this is used with; the plain loop gives the
  // right text anyway.
  const size_t last = first->rfind('>');
  const size_t rest = last == std::string::npos ? 0 : last + 1;
  if (!aligned || text.text.find('>', before) != std::string_view::npos ||
      text.text.substr(before) != std::string_view(*first).substr(rest)) {
    return ReplaceRepeat(text.With(*first), pattern, replacement);
  }
  PieceSet settled;
  Result<bool> cut = SettlePieces(text, pattern, replacement, std::move(changing), settled);
  if (!cut) return cut.status();
  if (!*cut) return ReplaceRepeat(text.With(*first), pattern, replacement);
  return ReassembleAt(*first, settled);
}

// The pass's rounds, its needle aside.
Result<std::string> RunRounds(PassText text, const CleanupPass& pass) {
  switch (pass.rounds) {
    case PassRounds::kOnce:
      break;
    case PassRounds::kUntilStable:
      return ReplaceRepeat(text, pass.pattern, pass.replacement);
    case PassRounds::kUntilStableByTag:
      return RunUntilStableByTag(text, pass);
  }
  return Replace(text, pass.pattern, pass.replacement);
}

// False when the pass's needle shows it cannot match.
Result<bool> MayMatch(PassText text, const CleanupPass& pass) {
  if (pass.needle.empty()) return true;
  return Test(text, pass.needle);
}

Result<std::string> RunPass(PassText text, const CleanupPass& pass) {
  Result<bool> may_match = MayMatch(text, pass);
  if (!may_match) return may_match.status();
  if (!*may_match) return std::string(text.text);
  return RunRounds(text, pass);
}

// One pass over `text`, in place. A pass that changes nothing leaves the
// text uncopied, and a single round writes into `spare`, whose room serves
// every pass of a page: a page of tens of megabytes would otherwise take
// fresh pages from the system, each cleared, for every pass.
Status ApplyPass(std::string& text, bool valid, const CleanupPass& pass, std::string& spare) {
  const PassText view{text, valid};
  Result<bool> may_match = MayMatch(view, pass);
  if (!may_match) return may_match.status();
  if (!*may_match) return Status::Ok();
  if (valid && pass.rounds == PassRounds::kOnce) {
    Result<bool> changed = support::RegexpReplaceInto(support::ValidUtf8::Known(text), pass.pattern,
                                                      pass.replacement, spare);
    if (!changed) return changed.status();
    if (*changed) text.swap(spare);
    return Status::Ok();
  }
  // Rounds over pieces of the text need room of their own: the spare goes
  // rather than add a page's worth to the peak.
  std::string().swap(spare);  // (assigning an empty string would keep the room)
  Result<std::string> next = RunRounds(view, pass);
  if (!next) return next.status();
  text = std::move(next).value();
  return Status::Ok();
}

// `passes` in order over `text`, whose UTF-8 is checked once.
Result<std::string> RunPasses(std::string text, const std::vector<CleanupPass>& passes,
                              const BetweenPasses& between_passes = {}) {
  const bool valid = PassText::Checked(text).valid;
  std::string spare;
  for (const CleanupPass& pass : passes) {
    if (between_passes) {
      if (Status s = between_passes(); !s) return s;
    }
    if (Status s = ApplyPass(text, valid, pass, spare); !s) return s;
  }
  return text;
}

// --- Page width ----------------------------------------------------------------

constexpr std::string_view kWidthTableStart =
    R"(<table border="0" cellpadding="0" cellspacing="0" class="pagewidth" style="overflow-x:hidden;word-break:break-all;)";
constexpr std::string_view kWidthTableOpenEnd = R"("><tr><td>)";
constexpr std::string_view kWidthTableEnd = "</td></tr></table>";
// The border table closes its cell and table without a row end tag; the
// template's style sheet is written against exactly this markup.
constexpr std::string_view kEffectTableStart =
    R"(<table cellspacing=0 cellpadding=0 class="pageeffect"><tr><td class="pageeffect">)";
constexpr std::string_view kEffectTableEnd = "</td></table>";
constexpr int kSignificantDigits = 15;

// The whole text as a finite number ("595.3", "90", "-1.5"); nothing else,
// so "21.0cm" and "" are not numbers.
std::optional<double> ParseNumber(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

Result<CleanupOptions> CleanupOptionsOf(const project::DocumentRecord& document) {
  Result<OptimizeMode> mode = OptimizeModeFromIndex(document.OptimizeMode);
  if (!mode) return mode.status();
  CleanupOptions options;
  options.mode = *mode;
  options.Opt1VML = IsOn(document.Opt1VML);
  options.Opt1Absolute = IsOn(document.Opt1Absolute);
  options.Opt1EQ = IsOn(document.Opt1EQ);
  options.Opt1Margin = IsOn(document.Opt1Margin);
  options.Opt1Space = IsOn(document.Opt1Space);
  options.Opt2Image = IsOn(document.Opt2Image);
  options.Opt2Table = IsOn(document.Opt2Table);
  options.Opt2EQ = IsOn(document.Opt2EQ);
  options.Opt2Indent = IsOn(document.Opt2Indent);
  options.Opt2PtoBR = IsOn(document.Opt2PtoBR);
  return options;
}

std::vector<CleanupPass> CleanBodyPasses(const CleanupOptions& options) {
  std::vector<CleanupPass> list;
  if (options.mode == OptimizeMode::kNone) return list;
  Append(list, kCommonPasses);
  if (options.mode == OptimizeMode::kSelective) {
    AppendSelectivePasses(list, options);
  } else {
    AppendAllClearPasses(list, options);
  }
  Append(list, kClosingPasses);
  return list;
}

Result<std::string> RunCleanupPass(std::string_view text, const CleanupPass& pass) {
  return RunPass(PassText::Checked(text), pass);
}

Result<std::string> CleanBody(std::string body, const CleanupOptions& options,
                              const BetweenPasses& between_passes) {
  return RunPasses(std::move(body), CleanBodyPasses(options), between_passes);
}

Result<std::string> TidyHeaderFooter(std::string html) {
  std::vector<CleanupPass> passes;
  Append(passes, kStyleTidyPasses);
  Append(passes, kClosingPasses);
  return RunPasses(std::move(html), passes);
}

Result<std::string> CleanPageBody(std::string body, bool home_page, const CleanupOptions& options,
                                  const BetweenPasses& between_passes) {
  if (home_page) {
    std::string spare;
    const Status toc_gone =
        ApplyPass(body, PassText::Checked(body).valid, Use(kWordTocParagraphs), spare);
    if (!toc_gone) return toc_gone;
  }
  return CleanBody(std::move(body), options, between_passes);
}

PageWidthOptions PageWidthOptionsOf(const project::DocumentRecord& document) {
  return PageWidthOptions{IsOn(document.OptPageWidth), IsOn(document.OptPageMargin),
                          IsOn(document.OptPageEffect)};
}

std::string ShortestDecimal(double value) {
  if (value == 0 || !std::isfinite(value)) return value == 0 ? "0" : "";
  // "d.dddddddddddddde±x": the value rounded to 15 significant digits.
  char scientific[64];
  std::snprintf(scientific, sizeof scientific, "%.*e", kSignificantDigits - 1, value);
  std::string_view text(scientific);
  std::string out;
  if (text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  const size_t e = text.find('e');
  const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  std::string digits;
  for (char c : text.substr(0, e)) {
    if (c != '.') digits += c;
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  if (exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
    return out;
  }
  const size_t whole = static_cast<size_t>(exponent) + 1;
  if (digits.size() <= whole) {
    out += digits;
    out.append(whole - digits.size(), '0');
  } else {
    out += digits.substr(0, whole);
    out += '.';
    out += digits.substr(whole);
  }
  return out;
}

std::string WrapPageWidth(std::string page, const PageWidthOptions& options,
                          const PageSetup& page_setup) {
  if (!options.OptPageWidth) return page;
  const std::optional<double> width = ParseNumber(page_setup.page_width);
  const std::optional<double> left = ParseNumber(page_setup.left_margin);
  const std::optional<double> right = ParseNumber(page_setup.right_margin);
  if (!width || !left || !right) return page;
  const double text_width = *width - *left - *right;
  if (!std::isfinite(text_width)) return page;

  std::string out;
  out.reserve(page.size() + 256);
  if (options.OptPageEffect) out += kEffectTableStart;
  out += kWidthTableStart;
  if (options.OptPageMargin) {
    out += "width:" + page_setup.page_width + "pt;padding:" + page_setup.margin_text + ";";
  } else {
    out += "width:" + ShortestDecimal(text_width) + "pt;";
  }
  out += kWidthTableOpenEnd;
  out += page;
  out += kWidthTableEnd;
  if (options.OptPageEffect) out += kEffectTableEnd;
  return out;
}

// Blank when nothing but white space stands between the tags. Visible text
// comes early in a real document, so the scan stops at its first character
// rather than building a tag-free copy of the whole body.
std::string EndOpenComment(std::string html) {
  constexpr std::string_view kOpen = "<!--";
  constexpr std::string_view kClose = "-->";
  size_t open = html.find(kOpen);
  while (open != std::string::npos) {
    const size_t close = html.find(kClose, open + kOpen.size());
    if (close != std::string::npos) {
      open = html.find(kOpen, close + kClose.size());
      continue;
    }
    // Never closed: drop the opener; an opener further on would open again.
    size_t end = open + kOpen.size();
    if (html.compare(end, 3, "[if") == 0) {
      const size_t condition_end = html.find(']', end);
      if (condition_end != std::string::npos && condition_end + 1 < html.size() &&
          html[condition_end + 1] == '>') {
        end = condition_end + 2;
      }
    }
    html.erase(open, end - open);
    open = html.find(kOpen, open);
  }
  return html;
}

namespace {

Result<bool> IsBlank(std::string_view html, bool known_valid) {
  // Every tag, Word's conditional markers ("<![if ...]>") included.
  constexpr std::string_view kAnyTag = "<([^a]|a)*?>";
  // White space as a page shows it: none of it is visible on its own.
  constexpr std::string_view kWhiteSpace = "\r\n\t ";
  const auto all_white = [&](std::string_view text) {
    return text.find_first_not_of(kWhiteSpace) == std::string_view::npos;
  };
  support::RegexMatcher tags = known_valid
                                   ? support::RegexMatcher(kAnyTag, support::ValidUtf8::Known(html))
                                   : support::RegexMatcher(kAnyTag, html);
  size_t text_start = 0;
  while (tags.Next()) {
    const support::RegexMatch& tag = tags.match();
    if (!all_white(html.substr(text_start, tag.offset - text_start))) return false;
    text_start = tag.offset + tag.value.size();
  }
  if (!tags.status()) return tags.status();
  return all_white(html.substr(text_start));
}

}  // namespace

Result<bool> IsBlankHtml(std::string_view html) {
  return IsBlank(html, false);
}
Result<bool> IsBlankHtml(support::ValidUtf8 html) {
  return IsBlank(html.text(), true);
}

}  // namespace tessarine::cleanup
