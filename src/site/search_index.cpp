#include "site/search_index.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <thread>
#include <unordered_map>

#include "support/text_file.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;

// Next code point of `text` from `*pos` (advanced); U+FFFD for a bad byte.
UChar32 NextCodePoint(std::string_view text, size_t* pos) {
  UChar32 c = 0;
  int32_t i = static_cast<int32_t>(*pos);
  U8_NEXT(text.data(), i, static_cast<int32_t>(text.size()), c);
  *pos = static_cast<size_t>(i);
  return c < 0 ? 0xFFFD : c;
}

void AppendCodePoint(std::string& out, UChar32 c) {
  char buffer[4];
  int32_t length = 0;
  UBool error = false;
  U8_APPEND(buffer, length, 4, c, error);
  if (!error) out.append(buffer, static_cast<size_t>(length));
}

// Chinese, Japanese and Korean script: indexed character by character.
bool IsCjk(UChar32 c) {
  if (c < 0x2E80) return false;                 // below every CJK block
  if (c >= 0x4E00 && c <= 0x9FFF) return true;  // the common ideographs
  if (c >= 0xAC00 && c <= 0xD7A3) return true;  // Hangul syllables
  UErrorCode status = U_ZERO_ERROR;
  switch (uscript_getScript(c, &status)) {
    case USCRIPT_HAN:
    case USCRIPT_HIRAGANA:
    case USCRIPT_KATAKANA:
    case USCRIPT_HANGUL:
    case USCRIPT_BOPOMOFO:
      return true;
    default:
      return false;
  }
}

// Letters, marks and decimal digits make words.
bool IsWordChar(UChar32 c) {
  if (c < 0x80) return std::isalnum(c) != 0;
  return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_ND_MASK)) != 0;
}

// The character a reference names, or -1. Only the names Word and the
// clean-up passes write are known; others stay as text.
UChar32 NamedReference(std::string_view name) {
  static const std::unordered_map<std::string_view, UChar32> kNames = {
      {"amp", '&'},      {"lt", '<'},        {"gt", '>'},       {"quot", '"'},
      {"apos", '\''},    {"nbsp", 0xA0},     {"copy", 0xA9},    {"reg", 0xAE},
      {"trade", 0x2122}, {"hellip", 0x2026}, {"mdash", 0x2014}, {"ndash", 0x2013},
      {"lsquo", 0x2018}, {"rsquo", 0x2019},  {"ldquo", 0x201C}, {"rdquo", 0x201D},
      {"middot", 0xB7},  {"bull", 0x2022},   {"deg", 0xB0},     {"times", 0xD7},
      {"shy", 0xAD},     {"ensp", 0x2002},   {"emsp", 0x2003},  {"thinsp", 0x2009},
  };
  const auto it = kNames.find(name);
  return it == kNames.end() ? -1 : it->second;
}

// Decodes the reference at html[pos] == '&'; returns its length (0 when it is
// no reference) and sets *c.
size_t DecodeReference(std::string_view html, size_t pos, UChar32* c) {
  const size_t end = html.find(';', pos);
  if (end == std::string_view::npos || end - pos > 12 || end - pos < 3) return 0;
  std::string_view body = html.substr(pos + 1, end - pos - 1);
  if (body[0] == '#') {
    int base = 10;
    body.remove_prefix(1);
    if (!body.empty() && (body[0] == 'x' || body[0] == 'X')) {
      base = 16;
      body.remove_prefix(1);
    }
    if (body.empty()) return 0;
    long value = 0;
    for (char ch : body) {
      const int digit = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0'
                        : base == 16 && std::isxdigit(static_cast<unsigned char>(ch))
                            ? (std::tolower(static_cast<unsigned char>(ch)) - 'a' + 10)
                            : -1;
      if (digit < 0) return 0;
      value = value * base + digit;
      if (value > 0x10FFFF) return 0;
    }
    *c = static_cast<UChar32>(value);
    if (U_IS_SURROGATE(*c) || *c == 0) *c = 0xFFFD;
    return end - pos + 1;
  }
  const UChar32 named = NamedReference(body);
  if (named < 0) return 0;
  *c = named;
  return end - pos + 1;
}

bool StartsWithNoCase(std::string_view text, size_t pos, std::string_view word) {
  if (text.size() - pos < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[pos + i])) != word[i]) return false;
  }
  return true;
}

// Where the element that opens at `pos` ("<script" or "<style") ends,
// after its closing tag.
size_t SkipRawElement(std::string_view html, size_t pos, std::string_view name) {
  const std::string closing = "</" + std::string(name);
  for (size_t at = html.find("</", pos); at != std::string_view::npos;
       at = html.find("</", at + 2)) {
    if (StartsWithNoCase(html, at, closing)) {
      const size_t end = html.find('>', at);
      return end == std::string_view::npos ? html.size() : end + 1;
    }
  }
  return html.size();
}

// The generated contents and related-topics blocks list other pages' titles:
// they would make every home page match every title. Where the block that
// opens at `pos` ends (after its </div>, nested divs counted), or npos.
size_t SkipNavigationBlock(std::string_view html, size_t pos) {
  static constexpr std::string_view kBlocks[] = {R"(<div id="tessarine_toc">)",
                                                 R"(<div id="tessarine_relative">)"};
  if (std::none_of(std::begin(kBlocks), std::end(kBlocks),
                   [&](std::string_view block) { return html.substr(pos).starts_with(block); })) {
    return std::string_view::npos;
  }
  int depth = 0;
  for (size_t at = pos; (at = html.find('<', at)) != std::string_view::npos; ++at) {
    if (StartsWithNoCase(html, at, "<div")) ++depth;
    if (StartsWithNoCase(html, at, "</div") && --depth == 0) {
      const size_t end = html.find('>', at);
      return end == std::string_view::npos ? html.size() : end + 1;
    }
  }
  return html.size();
}

// Whether a tag ("<name ..." without its ">") separates the text around it
// the way a browser shows it: block elements, cells and line breaks do,
// inline elements (a word or a Chinese phrase split by <span>) do not.
bool BreaksText(std::string_view tag) {
  static constexpr std::string_view kBlocks[] = {
      "p",  "div", "br", "td", "th",         "tr",  "li", "ul", "ol", "table",   "h1", "h2",
      "h3", "h4",  "h5", "h6", "blockquote", "pre", "hr", "dt", "dd", "caption", "img"};
  size_t start = 1;
  if (start < tag.size() && tag[start] == '/') ++start;
  size_t end = start;
  while (end < tag.size() && std::isalnum(static_cast<unsigned char>(tag[end]))) ++end;
  std::string name(tag.substr(start, end - start));
  for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return std::find(std::begin(kBlocks), std::end(kBlocks), name) != std::end(kBlocks);
}

// Script string literal of UTF-8 text. In ANSI only ASCII and the ideographs
// code page 936 holds go in as they are.
void AppendScriptString(std::string& out, std::string_view text, bool ansi) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto escape_unit = [&](uint16_t unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
  };
  out += '"';
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    const UChar32 c = NextCodePoint(text, &pos);
    // Controls, the line separators a script ends a line at, and the slash
    // of "</" that would close the script element.
    const bool must_escape = c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029 ||
                             (c == '/' && start > 0 && text[start - 1] == '<');
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (!must_escape && (c < 0x80 || !ansi || (c >= 0x4E00 && c <= 0x9FA5))) {
      out.append(text.substr(start, pos - start));
    } else if (c > 0xFFFF) {
      escape_unit(static_cast<uint16_t>(U16_LEAD(c)));
      escape_unit(static_cast<uint16_t>(U16_TRAIL(c)));
    } else {
      escape_unit(static_cast<uint16_t>(c));
    }
  }
  out += '"';
}

// Order of the script's string comparison (UTF-16 code units): characters
// beyond the basic plane sort between U+D7FF and U+E000.
uint32_t Utf16Order(UChar32 c) {
  if (c < 0xD800) return static_cast<uint32_t>(c);
  if (c > 0xFFFF) return 0x110000u + static_cast<uint32_t>(c);
  return 0x220000u + static_cast<uint32_t>(c);
}

bool Utf16Less(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const uint32_t x = Utf16Order(NextCodePoint(a, &i));
    const uint32_t y = Utf16Order(NextCodePoint(b, &j));
    if (x != y) return x < y;
  }
  return i == a.size() && j < b.size();
}

}  // namespace

std::string VisibleText(std::string_view html) {
  std::string text;
  text.reserve(html.size() / 2);
  bool pending_space = false;
  const auto put = [&](UChar32 c) {
    if (c < 0x80 ? (c == ' ' || (c >= '\t' && c <= '\r')) : (u_isUWhiteSpace(c) || c == 0xAD)) {
      pending_space = !text.empty() || pending_space;
      return;
    }
    if (pending_space && !text.empty()) text += ' ';
    pending_space = false;
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {
      AppendCodePoint(text, c);
    }
  };
  for (size_t pos = 0; pos < html.size();) {
    const char ch = html[pos];
    if (ch == '<') {
      if (html.compare(pos, 4, "<!--") == 0) {
        const size_t end = html.find("-->", pos + 4);
        pos = end == std::string_view::npos ? html.size() : end + 3;
      } else if (StartsWithNoCase(html, pos, "<script")) {
        pos = SkipRawElement(html, pos, "script");
      } else if (StartsWithNoCase(html, pos, "<style")) {
        pos = SkipRawElement(html, pos, "style");
      } else if (const size_t after = SkipNavigationBlock(html, pos);
                 after != std::string_view::npos) {
        pos = after;
      } else {
        const size_t end = html.find('>', pos);
        if (BreaksText(html.substr(pos, end == std::string_view::npos ? end : end - pos))) {
          pending_space = !text.empty();
        }
        pos = end == std::string_view::npos ? html.size() : end + 1;
        continue;
      }
      pending_space = !text.empty();
      continue;
    }
    if (ch == '&') {
      UChar32 c = 0;
      if (const size_t length = DecodeReference(html, pos, &c); length > 0) {
        put(c);
        pos += length;
        continue;
      }
    }
    if (static_cast<unsigned char>(ch) < 0x80) {
      put(ch);
      ++pos;
    } else {
      put(NextCodePoint(html, &pos));
    }
  }
  return text;
}

namespace {

// Calls `emit` with every term of the text, in order.
template <typename Emit>
void ForEachTerm(std::string_view text, Emit&& emit) {
  std::string word;
  std::string run;        // the CJK run so far, up to its last two characters
  size_t run_length = 0;  // characters in the current CJK run
  const auto end_word = [&] {
    if (!word.empty()) emit(std::string_view(word));
    word.clear();
  };
  const auto end_run = [&] {
    if (run_length == 1) emit(std::string_view(run));
    run.clear();
    run_length = 0;
  };
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    const UChar32 c = NextCodePoint(text, &pos);
    if (IsCjk(c)) {
      end_word();
      if (run_length > 0) {
        // Keep only the previous character in front of this one.
        size_t last = run.size();
        U8_BACK_1(reinterpret_cast<const uint8_t*>(run.data()), 0, last);
        run.erase(0, last);
        run.append(text.substr(start, pos - start));
        emit(std::string_view(run));
      } else {
        run.assign(text.substr(start, pos - start));
      }
      ++run_length;
    } else if (IsWordChar(c)) {
      end_run();
      if (c < 0x80) {
        word += static_cast<char>(std::tolower(c));
      } else {
        AppendCodePoint(word, u_tolower(c));
      }
    } else {
      end_run();
      end_word();
    }
  }
  end_run();
  end_word();
}

// Postings: page numbers in ascending order, as the distance to the previous
// page (the first as it is) in digits of 32, the last digit of each number
// from kLastDigits and the others from kMoreDigits; or, where it is shorter,
// "~" and a bitmap of all pages, six pages a character (kBitmapDigits).
constexpr std::string_view kLastDigits = "abcdefghijklmnopqrstuvwxyz012345";
constexpr std::string_view kMoreDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZ6789$_";
constexpr std::string_view kBitmapDigits =
    "abcdefghijklmnopqrstuvwxyz012345ABCDEFGHIJKLMNOPQRSTUVWXYZ6789$_";

void AppendPostings(std::string& out, const std::vector<uint32_t>& pages) {
  std::string deltas;
  uint32_t previous = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    uint32_t value = pages[i] - (i == 0 ? 0 : previous);
    previous = pages[i];
    char digits[8];
    int count = 0;
    digits[count++] = kLastDigits[value % 32];
    for (value /= 32; value != 0; value /= 32) digits[count++] = kMoreDigits[value % 32];
    while (count > 0) deltas += digits[--count];
  }
  const size_t bitmap_length = 1 + pages.back() / 6 + 1;
  if (bitmap_length >= deltas.size()) {
    out += deltas;
    return;
  }
  std::string bitmap(bitmap_length - 1, 0);
  for (uint32_t page : pages)
    bitmap[page / 6] = static_cast<char>(bitmap[page / 6] | 1 << page % 6);
  out += '~';
  for (char bits : bitmap) out += kBitmapDigits[static_cast<size_t>(bits)];
}

}  // namespace

std::vector<std::string> SearchTerms(std::string_view text) {
  std::vector<std::string> terms;
  ForEachTerm(text, [&](std::string_view term) { terms.emplace_back(term); });
  return terms;
}

void SearchIndexBuilder::AddDocument(const SectionTable& sections) {
  if (!enabled_) return;
  const size_t first = pages_.size();
  pages_.resize(first + sections.size());
  const auto extract = [&](size_t begin, size_t end) {
    for (size_t k = begin; k < end; ++k) {
      pages_[first + k].title = VisibleText(sections[k].Title);
      pages_[first + k].text = VisibleText(sections[k].Body);
    }
  };
  // The build itself runs on one core: the second takes half of the pages.
  // Each page's text lands in its own slot, so the result is the same.
  constexpr size_t kPagesWorthAThread = 64;
  if (sections.size() >= kPagesWorthAThread) {
    const size_t half = sections.size() / 2;
    std::thread helper(extract, half, sections.size());
    extract(0, half);
    helper.join();
  } else {
    extract(0, sections.size());
  }
  for (size_t k = first; k < pages_.size(); ++k) {
    text_bytes_ += pages_[k].title.size() + pages_[k].text.size();
  }
}

std::string SearchIndexBuilder::IndexScript(bool ansi) const {
  // Term ids in order of appearance; each term's pages, each page once.
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  // The last page is kept beside the id, so a term repeated on a page costs
  // one lookup and nothing more.
  struct Entry {
    uint32_t id;
    uint32_t last_page;
  };
  std::unordered_map<std::string, Entry, Hash, std::equal_to<>> ids;
  ids.reserve(1 << 16);
  std::vector<std::string_view> names;
  std::vector<std::vector<uint32_t>> pages;
  for (size_t number = 0; number < pages_.size(); ++number) {
    const auto page = static_cast<uint32_t>(number);
    const auto add = [&](std::string_view term) {
      auto it = ids.find(term);
      if (it == ids.end()) {
        it = ids.emplace(std::string(term), Entry{static_cast<uint32_t>(names.size()), page}).first;
        names.push_back(it->first);
        pages.push_back({page});
      } else if (it->second.last_page != page) {
        it->second.last_page = page;
        pages[it->second.id].push_back(page);
      }
    };
    ForEachTerm(pages_[number].title, add);
    ForEachTerm(pages_[number].text, add);
  }
  // Byte order is the script's order for terms below U+E000 (lead bytes
  // up to 0xED); only others need the slower comparison.
  std::vector<uint32_t> order(names.size());
  std::vector<bool> plain(names.size());
  for (uint32_t i = 0; i < order.size(); ++i) {
    order[i] = i;
    plain[i] = std::none_of(names[i].begin(), names[i].end(),
                            [](char c) { return static_cast<unsigned char>(c) >= 0xEE; });
  }
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return plain[a] && plain[b] ? names[a] < names[b] : Utf16Less(names[a], names[b]);
  });

  std::string out = "tessarineSearchIndex({\"count\":" + std::to_string(pages_.size());
  // Terms and postings: one string each, entries separated by spaces. A
  // term that starts with the first character of the term before it (most
  // CJK pairs do) is written without it, after "|" instead of the space.
  std::string terms;
  std::string postings;
  std::string_view previous_first;
  for (size_t i = 0; i < order.size(); ++i) {
    const std::string_view term = names[order[i]];
    size_t first_length = 0;
    NextCodePoint(term, &first_length);
    const std::string_view first = term.substr(0, first_length);
    if (i > 0) {
      postings += ' ';
      if (first == previous_first && term.size() > first_length) {
        terms += '|';
        terms += term.substr(first_length);
      } else {
        terms += ' ';
        terms += term;
      }
    } else {
      terms += term;
    }
    previous_first = first;
    AppendPostings(postings, pages[order[i]]);
  }
  out += ",\n\"terms\":";
  AppendScriptString(out, terms, ansi);
  out += ",\n\"postings\":\"" + postings + "\"});\n";
  return out;
}

std::vector<std::string> SearchIndexBuilder::TextScripts(bool ansi) const {
  std::vector<std::string> scripts;
  for (size_t first = 0; first < pages_.size(); first += kTextChunk) {
    std::string out = "tessarineSearchText(" + std::to_string(first / kTextChunk) + ",[";
    for (size_t number = first; number < std::min(pages_.size(), first + kTextChunk); ++number) {
      if (number > first) out += ",\n";
      AppendScriptString(out, pages_[number].text, ansi);
    }
    out += "]);\n";
    scripts.push_back(std::move(out));
  }
  return scripts;
}

void RemoveSearchFiles(const std::string& output_dir) {
  std::error_code error;
  const fs::path index = fs::path(output_dir) / kSearchIndexFile;
  fs::remove(index, error);
  const std::string prefix = fs::path(kSearchTextPrefix).filename().string();
  for (const auto& entry : fs::directory_iterator(index.parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix) && name.ends_with(".js")) fs::remove(entry.path(), error);
  }
}

support::Status SearchIndexBuilder::Write(const std::string& output_dir,
                                          std::string_view file_encode) const {
  const bool ansi = file_encode != "1";
  RemoveSearchFiles(output_dir);
  if (!enabled_) {
    // The menu page still asks for the index: an empty one, not a missing file.
    return support::WriteTextFile(output_dir + std::string(kSearchIndexFile),
                                  std::string(kNoSearchIndex), file_encode);
  }
  // The snippet files are written on the second core while the index is
  // made on this one; both only read the pages.
  support::Status texts_written = support::Status::Ok();
  std::thread texts_writer([&] {
    const std::vector<std::string> texts = TextScripts(ansi);
    for (size_t chunk = 0; chunk < texts.size() && texts_written.ok(); ++chunk) {
      const std::string path =
          output_dir + std::string(kSearchTextPrefix) + std::to_string(chunk) + ".js";
      texts_written = support::WriteTextFile(path, texts[chunk], file_encode);
    }
  });
  const std::string index = IndexScript(ansi);
  texts_writer.join();
  if (!texts_written) return texts_written;
  return support::WriteTextFile(output_dir + std::string(kSearchIndexFile), index, file_encode);
}

}  // namespace tessarine::site
