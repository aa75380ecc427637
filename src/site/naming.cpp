#include "site/naming.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <unordered_map>
#include <unordered_set>

#include "site/frameset.h"
#include "support/regex.h"

namespace tessarine::site {
namespace {

using support::Result;
using support::Status;

// FileNameRule
constexpr std::string_view kFilesByChapter = "0";
constexpr std::string_view kFilesBySequence = "1";
// NumberlistRule
constexpr std::string_view kTitleNumbered = "0";
constexpr std::string_view kTitlePlain = "2";
// HeadTitleMode
constexpr std::string_view kHeadTitleChained = "0";
constexpr std::string_view kHeadTitleFixed = "1";
// MetaKeyMode
constexpr std::string_view kKeywordsFromTitle = "0";
constexpr std::string_view kKeywordsFromContent = "1";
constexpr std::string_view kKeywordsFixed = "2";
// MetaDescMode
constexpr std::string_view kDescriptionFromTitle = "0";
constexpr std::string_view kDescriptionFromKeywords = "1";
constexpr std::string_view kDescriptionFixed = "2";

constexpr std::string_view kSpecialLineSeparator = "|||";
constexpr std::string_view kSpecialPairSeparator = "|";
constexpr std::string_view kKeywordSeparator = ",";
constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kHeadTitleJoin = " : ";

// Heading levels run from 1 to 9; a content row of a hand-made table with any
// other value is held inside that range so the counters stay small.
constexpr int kDeepestLevel = 9;

int ContentLevel(const Section& row) {
  int level = 0;
  std::from_chars(row.Level.data(), row.Level.data() + row.Level.size(), level);
  return std::clamp(level, 1, kDeepestLevel);
}

// Counters by heading level for the chapter file names and the chapter
// numbers: each rule walks the rows with one of these. The counters are
// sized to the current level on every row, so returning to a shallower level
// forgets the deeper counts. A counter of 0 is empty: a level skipped on the
// way down, which contributes empty text wherever counters are joined.
class LevelCounter {
 public:
  void Count(int level) {
    counters_.resize(static_cast<size_t>(level) + 1);
    int& counter = counters_[static_cast<size_t>(level)];
    counter = previous_ < level ? 1 : counter + 1;
    previous_ = level;
  }
  std::string Text(int level) const {
    const int counter = counters_[static_cast<size_t>(level)];
    return counter == 0 ? std::string() : std::to_string(counter);
  }

 private:
  std::vector<int> counters_ = {0};
  int previous_ = 0;
};

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t hit = 0; (hit = text.find(separator, start)) != std::string_view::npos;
       start = hit + separator.size()) {
    parts.push_back(text.substr(start, hit - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string_view TrimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string RemoveAll(std::string_view text, std::string_view piece) {
  std::string out;
  size_t start = 0;
  for (size_t hit = 0; (hit = text.find(piece, start)) != std::string_view::npos;
       start = hit + piece.size()) {
    out.append(text.substr(start, hit - start));
  }
  out.append(text.substr(start));
  return out;
}

// Keywords and titles are the user's text, matched literally: every ASCII
// punctuation character is escaped, letters, digits and non-ASCII characters
// stand for themselves.
std::string LiteralPattern(std::string_view text) {
  std::string pattern;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 && std::ispunct(byte)) pattern += '\\';
    pattern += c;
  }
  return pattern;
}

// Case-insensitive containment through the pattern engine, which folds the
// case of non-ASCII letters as well as ASCII ones.
Result<bool> ContainsIgnoringCase(std::string_view text, std::string_view piece) {
  return support::RegexpTest(LiteralPattern(piece), text);
}

std::string ZeroPadded(size_t number, size_t width) {
  std::string digits = std::to_string(number);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

// `name` with the first suffix from `suffix` on that `is_taken` refuses.
template <typename IsTaken>
std::string FirstFreeName(std::string_view name, int& suffix, IsTaken is_taken) {
  for (;; ++suffix) {
    std::string candidate(name);
    if (suffix > 0) candidate += std::to_string(suffix);
    if (!is_taken(candidate)) return candidate;
  }
}

// FindSpecialFileName with the uniqueness left to `unique(name)`.
template <typename Unique>
Result<std::string> MatchSpecialFileName(std::string_view special_file_name,
                                         std::string_view page_title, Unique unique) {
  for (std::string_view line : Split(special_file_name, kSpecialLineSeparator)) {
    const std::vector<std::string_view> pair = Split(line, kSpecialPairSeparator);
    if (pair.size() != 2) continue;
    const std::string_view keyword = TrimSpaces(pair[0]);
    const std::string_view name = TrimSpaces(pair[1]);
    if (keyword.empty() || name.empty()) continue;
    const Result<bool> applies = ContainsIgnoringCase(page_title, keyword);
    if (!applies) return applies.status();
    if (*applies) return unique(name);
  }
  return std::string();
}

// The special names given so far in one document. A keyword that many titles
// contain would otherwise make every page search all earlier names for every
// suffix it tries: cubic in the number of pages. Names are only ever added,
// so a suffix found taken stays taken and the next search for the same name
// starts after it.
class GivenNames {
 public:
  std::string Unique(std::string_view name) {
    int& suffix = next_suffix_[std::string(name)];
    std::string candidate =
        FirstFreeName(name, suffix, [&](const std::string& c) { return names_.count(c) != 0; });
    names_.insert(candidate);
    return candidate;
  }

 private:
  std::unordered_set<std::string> names_;
  std::unordered_map<std::string, int> next_suffix_;
};

}  // namespace

Status AssignPageFiles(SectionTable& sections, const project::DocumentRecord& document,
                       std::string_view file_ext) {
  if (sections.empty()) return Status::Ok();
  const std::string& prefix = document.FilenamePre;
  sections[0].PageFile = prefix + std::string(file_ext);

  const bool by_chapter = document.FileNameRule == kFilesByChapter;
  if (!by_chapter && document.FileNameRule != kFilesBySequence) return Status::Ok();

  GivenNames given;
  LevelCounter counter;
  const size_t sequence_width = std::to_string(sections.size() - 1).size();
  for (size_t k = 1; k < sections.size(); ++k) {
    Section& row = sections[k];
    const int level = ContentLevel(row);
    if (by_chapter) counter.Count(level);

    Result<std::string> special =
        MatchSpecialFileName(document.SpecialFileName, row.Title,
                             [&](std::string_view name) { return given.Unique(name); });
    if (!special) return special.status();
    std::string base = prefix;
    if (!special->empty()) {
      base += by_chapter ? "." : "-";
      base += *special;
    } else if (by_chapter) {
      for (int l = 1; l <= level; ++l) {
        base += '.';
        base += counter.Text(l);
      }
    } else {
      base += ZeroPadded(k, sequence_width);
    }
    row.PageFile = base + std::string(file_ext);
  }
  return Status::Ok();
}

namespace {

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string Describe(size_t document, std::string_view title) {
  if (document == 0) return "the frameset";
  return "document " + std::to_string(document) + " (\"" + std::string(title) + "\")";
}

}  // namespace

SitePageNames::SitePageNames(const project::ProjectSettings& project) : file_ext_(project.FileExt) {
  for (std::string_view stem : {kHomeName, kTopName, kLeftName}) {
    taken_.emplace(AsciiLower(std::string(stem) + file_ext_), Owner{0, std::string(stem)});
  }
  for (size_t k = 0; k < project.Documents.size(); ++k) {
    const project::DocumentRecord& document = project.Documents[k];
    taken_.emplace(AsciiLower(document.FilenamePre + file_ext_), Owner{k + 1, document.NodeName});
  }
}

std::string SitePageNames::FreeName(const std::string& file) {
  const bool has_ext =
      !file_ext_.empty() && file.size() > file_ext_.size() &&
      file.compare(file.size() - file_ext_.size(), file_ext_.size(), file_ext_) == 0;
  const std::string stem = has_ext ? file.substr(0, file.size() - file_ext_.size()) : file;
  const std::string ext = has_ext ? file_ext_ : std::string();
  int& suffix = next_suffix_[AsciiLower(stem)];
  suffix = std::max(suffix, 2);
  for (;; ++suffix) {
    std::string candidate = stem + "_" + std::to_string(suffix) + ext;
    if (taken_.count(AsciiLower(candidate)) == 0) return candidate;
  }
}

std::vector<std::string> SitePageNames::Claim(SectionTable& sections, size_t number) {
  std::vector<std::string> warnings;
  for (size_t k = 1; k < sections.size(); ++k) {
    Section& row = sections[k];
    if (row.PageFile.empty()) continue;
    const auto [taken, fresh] = taken_.emplace(AsciiLower(row.PageFile), Owner{number, row.Title});
    if (fresh) continue;
    const std::string renamed = FreeName(row.PageFile);
    warnings.push_back("page file name " + row.PageFile + " of " + Describe(number, row.Title) +
                       " is already that of " +
                       Describe(taken->second.document, taken->second.title) +
                       "; the page is written as " + renamed);
    taken_.emplace(AsciiLower(renamed), Owner{number, row.Title});
    row.PageFile = renamed;
  }
  return warnings;
}

Result<std::string> FindSpecialFileName(std::string_view special_file_name,
                                        std::string_view page_title,
                                        const std::vector<std::string>& given) {
  return MatchSpecialFileName(special_file_name, page_title, [&](std::string_view name) {
    return UniqueSpecialName(name, given);
  });
}

std::string UniqueSpecialName(std::string_view name, const std::vector<std::string>& given,
                              int suffix) {
  return FirstFreeName(name, suffix, [&](const std::string& candidate) {
    return std::find(given.begin(), given.end(), candidate) != given.end();
  });
}

void AssignPageTitles(SectionTable& sections, const project::DocumentRecord& document) {
  if (sections.empty()) return;
  if (document.HeadTitleMode == kHeadTitleFixed) {
    for (Section& row : sections) row.PageTitle = document.HeadTitle;
    return;
  }
  if (document.HeadTitleMode != kHeadTitleChained) return;

  // titles[L] is the head title of the latest page of level L; a skipped
  // level stays empty, so its children's titles begin with the joiner.
  sections[0].PageTitle = sections[0].PlainTitle;
  std::vector<std::string> titles = {sections[0].PageTitle};
  for (size_t k = 1; k < sections.size(); ++k) {
    Section& row = sections[k];
    const auto level = static_cast<size_t>(ContentLevel(row));
    titles.resize(level + 1);
    titles[level] = titles[level - 1] + std::string(kHeadTitleJoin) + row.PlainTitle;
    row.PageTitle = titles[level];
  }
}

void AssignChapterNumbers(SectionTable& sections, const project::DocumentRecord& document) {
  if (sections.empty()) return;
  sections[0].ChapterNumber.clear();
  LevelCounter counter;
  for (size_t k = 1; k < sections.size(); ++k) {
    Section& row = sections[k];
    const int level = ContentLevel(row);
    counter.Count(level);
    // A dot goes only after text already built: empty counters in front
    // vanish (a first heading at level 2 is "1"), one in the middle leaves
    // two dots ("1..1").
    std::string number;
    for (int l = 1; l <= level; ++l) {
      if (!number.empty()) number += '.';
      number += counter.Text(l);
    }
    row.ChapterNumber = std::move(number);

    if (document.NumberlistRule == kTitleNumbered) {
      row.Title = row.ChapterNumber + " " + row.PlainTitle;
    } else if (document.NumberlistRule == kTitlePlain) {
      row.Title = row.PlainTitle;
    }
  }
}

Result<std::string> PageMetaKeywords(const project::DocumentRecord& document,
                                     std::string_view page_title, std::string_view page_body) {
  if (document.MetaKeyMode == kKeywordsFromTitle) return std::string(page_title);
  if (document.MetaKeyMode == kKeywordsFixed) return document.MetaKey;
  if (document.MetaKeyMode != kKeywordsFromContent) return std::string();

  // Lines of the keyword box run together without a separator.
  const std::string keywords = RemoveAll(document.MetaKey, kLineBreak);
  std::string kept;
  for (std::string_view piece : Split(keywords, kKeywordSeparator)) {
    const std::string_view keyword = TrimSpaces(piece);
    if (keyword.empty()) continue;
    const Result<bool> found = ContainsIgnoringCase(page_body, keyword);
    if (!found) return found.status();
    if (!*found) continue;
    if (!kept.empty()) kept += kKeywordSeparator;
    kept += keyword;
  }
  return kept;
}

std::string PageMetaDescription(const project::DocumentRecord& document,
                                std::string_view page_title, std::string_view page_keywords) {
  if (document.MetaDescMode == kDescriptionFromTitle) return std::string(page_title);
  if (document.MetaDescMode == kDescriptionFromKeywords) return std::string(page_keywords);
  if (document.MetaDescMode == kDescriptionFixed) return document.MetaDesc;
  return std::string();
}

}  // namespace tessarine::site
