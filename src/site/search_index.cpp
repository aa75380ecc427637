#include "site/search_index.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
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
  char pair[8];            // the last CJK character, then the pair it ends
  size_t last_length = 0;  // bytes of the last CJK character in `pair`
  size_t run_length = 0;   // characters in the current CJK run
  const auto end_word = [&] {
    if (!word.empty()) emit(std::string_view(word));
    word.clear();
  };
  const auto end_run = [&] {
    if (run_length == 1) emit(std::string_view(pair, last_length));
    run_length = 0;
  };
  for (size_t pos = 0; pos < text.size();) {
    const char ch = text[pos];
    if (static_cast<unsigned char>(ch) < 0x80) {
      ++pos;
      if (std::isalnum(static_cast<unsigned char>(ch))) {
        end_run();
        word += ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + ('a' - 'A')) : ch;
      } else {
        end_run();
        end_word();
      }
      continue;
    }
    const size_t start = pos;
    const UChar32 c = NextCodePoint(text, &pos);
    const size_t length = pos - start;
    if (IsCjk(c)) {
      end_word();
      if (run_length > 0) {
        // The pair: the previous character, then this one.
        std::memcpy(pair + last_length, text.data() + start, length);
        emit(std::string_view(pair, last_length + length));
        std::memmove(pair, pair + last_length, length);
      } else {
        std::memcpy(pair, text.data() + start, length);
      }
      last_length = length;
      ++run_length;
    } else if (IsWordChar(c)) {
      end_run();
      AppendCodePoint(word, u_tolower(c));
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

// 64-bit hash of a term, eight bytes a step.
uint64_t HashTerm(std::string_view term) {
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ term.size();
  size_t at = 0;
  for (; at + 8 <= term.size(); at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, term.data() + at, 8);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, term.data() + at, term.size() - at);
  hash = (hash ^ tail) * 0xC4CEB9FE1A85EC53ull;
  return hash ^ (hash >> 29);
}

// The distinct terms of a site, numbered in order of first appearance: an
// open-addressing table whose slots hold a hash tag and the id, over one
// arena of term bytes. A lookup touches one slot array and, on a tag match,
// the arena; no node per term.
class TermTable {
 public:
  TermTable() : slots_(kInitialSlots, 0) {}

  // The id of `term`, which is given the next id when it is new.
  uint32_t Intern(std::string_view term, bool* added) {
    if ((count() + 1) * 4 > slots_.size() * 3) Grow();
    const uint64_t hash = HashTerm(term);
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      const uint64_t slot = slots_[at];
      if (slot == 0) {
        const auto id = static_cast<uint32_t>(count());
        spans_.push_back(
            {static_cast<uint32_t>(arena_.size()), static_cast<uint32_t>(term.size())});
        hashes_.push_back(hash);
        arena_.append(term);
        slots_[at] = Slot(hash, id);
        *added = true;
        return id;
      }
      if ((slot >> 32) == (hash >> 32)) {
        const auto id = static_cast<uint32_t>(slot) - 1;
        if (Term(id) == term) {
          *added = false;
          return id;
        }
      }
    }
  }

  size_t count() const { return spans_.size(); }
  std::string_view Term(uint32_t id) const {
    return std::string_view(arena_).substr(spans_[id].offset, spans_[id].length);
  }

 private:
  static constexpr size_t kInitialSlots = 1 << 16;
  struct Span {
    uint32_t offset;
    uint32_t length;
  };

  static uint64_t Slot(uint64_t hash, uint32_t id) {
    return (hash & 0xFFFFFFFF00000000ull) | (static_cast<uint64_t>(id) + 1);
  }

  void Grow() {
    std::vector<uint64_t> slots(slots_.size() * 2, 0);
    const size_t mask = slots.size() - 1;
    for (uint32_t id = 0; id < count(); ++id) {
      size_t at = hashes_[id] & mask;
      while (slots[at] != 0) at = (at + 1) & mask;
      slots[at] = Slot(hashes_[id], id);
    }
    slots_ = std::move(slots);
  }

  std::vector<uint64_t> slots_;
  std::vector<Span> spans_;
  std::vector<uint64_t> hashes_;
  std::string arena_;
};

}  // namespace

std::vector<std::string> SearchTerms(std::string_view text) {
  std::vector<std::string> terms;
  ForEachTerm(text, [&](std::string_view term) { terms.emplace_back(term); });
  return terms;
}

// The pages gathered so far and their terms. The terms are gathered by a
// worker thread, page by page in page order, as documents are added; a page
// is never changed once added (a deque keeps it where it is), so the worker
// reads it without the lock.
struct SearchIndexBuilder::State {
  struct Page {
    std::string title;
    std::string text;
  };

  std::mutex mutex;
  std::condition_variable wake;  // a page added, or closing
  std::deque<Page> pages;        // guarded by `mutex`
  size_t gathered = 0;           // pages whose terms are in the table; guarded
  bool closing = false;          // guarded
  std::thread worker;

  // Written by the worker only; read once it has been joined.
  TermTable table;
  std::vector<uint32_t> last_page;              // per term: the last page seen
  std::vector<std::vector<uint32_t>> postings;  // per term: its pages, ascending

  ~State() { Finish(); }

  void Start() {
    if (worker.joinable()) return;
    closing = false;
    worker = std::thread([this] { Gather(); });
  }

  // Waits until every page added is gathered.
  void Finish() {
    if (!worker.joinable()) return;
    {
      const std::lock_guard lock(mutex);
      closing = true;
    }
    wake.notify_one();
    worker.join();
  }

  void Gather() {
    for (;;) {
      const Page* page = nullptr;
      uint32_t number = 0;
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return closing || gathered < pages.size(); });
        if (gathered == pages.size()) return;
        number = static_cast<uint32_t>(gathered);
        page = &pages[gathered];
      }
      // Each page once per term: a repeat on the same page costs one lookup.
      const auto add = [&](std::string_view term) {
        bool added = false;
        const uint32_t id = table.Intern(term, &added);
        if (added) {
          last_page.push_back(number);
          postings.push_back({number});
        } else if (last_page[id] != number) {
          last_page[id] = number;
          postings[id].push_back(number);
        }
      };
      ForEachTerm(page->title, add);
      ForEachTerm(page->text, add);
      const std::lock_guard lock(mutex);
      ++gathered;
    }
  }
};

SearchIndexBuilder::SearchIndexBuilder(bool enabled)
    : state_(enabled ? std::make_unique<State>() : nullptr) {}
SearchIndexBuilder::SearchIndexBuilder(SearchIndexBuilder&&) noexcept = default;
SearchIndexBuilder& SearchIndexBuilder::operator=(SearchIndexBuilder&&) noexcept = default;
SearchIndexBuilder::~SearchIndexBuilder() = default;

size_t SearchIndexBuilder::page_count() const {
  if (!state_) return 0;
  const std::lock_guard lock(state_->mutex);
  return state_->pages.size();
}

void SearchIndexBuilder::AddDocument(const SectionTable& sections) {
  if (!state_) return;
  std::vector<State::Page> added(sections.size());
  const auto extract = [&](size_t begin, size_t end) {
    for (size_t k = begin; k < end; ++k) {
      added[k].title = VisibleText(sections[k].Title);
      added[k].text = VisibleText(sections[k].Body);
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
  for (const State::Page& page : added) text_bytes_ += page.title.size() + page.text.size();
  {
    const std::lock_guard lock(state_->mutex);
    for (State::Page& page : added) state_->pages.push_back(std::move(page));
  }
  state_->Start();
  state_->wake.notify_one();
}

std::string SearchIndexBuilder::IndexScript(bool ansi) const {
  if (!state_) return std::string(kNoSearchIndex);
  state_->Finish();
  const size_t page_total = state_->pages.size();
  const std::vector<std::vector<uint32_t>>& pages = state_->postings;
  std::vector<std::string_view> names(state_->table.count());
  for (uint32_t id = 0; id < names.size(); ++id) names[id] = state_->table.Term(id);
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

  std::string out = "tessarineSearchIndex({\"count\":" + std::to_string(page_total);
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
  if (!state_) return scripts;
  // Pages are only added by AddDocument, never while the scripts are made.
  const std::deque<State::Page>& pages = state_->pages;
  for (size_t first = 0; first < pages.size(); first += kTextChunk) {
    std::string out = "tessarineSearchText(" + std::to_string(first / kTextChunk) + ",[";
    for (size_t number = first; number < std::min(pages.size(), first + kTextChunk); ++number) {
      if (number > first) out += ",\n";
      AppendScriptString(out, pages[number].text, ansi);
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
  if (!state_) {
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
