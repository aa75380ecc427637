#include "convert/html_text.h"

#include <cmath>
#include <cstdio>

namespace tessarine::convert {

void AppendEscapedText(std::string& out, std::string_view utf8) {
  size_t run_start = 0;
  auto flush = [&](size_t end) {
    if (end > run_start) out.append(utf8.data() + run_start, end - run_start);
  };
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const char* replacement = nullptr;
    size_t width = 1;
    switch (c) {
      case '&':
        replacement = "&amp;";
        break;
      case '<':
        replacement = "&lt;";
        break;
      case '>':
        replacement = "&gt;";
        break;
      case '"':
        replacement = "&quot;";
        break;
      case 0xC2:
        if (i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xA0) {
          replacement = "&nbsp;";
          width = 2;
        }
        break;
      case '\r':
      case '\n':
        // A line end inside text is white space to a browser; a bare LF
        // would also break the file's CR LF line ends.
        replacement = " ";
        break;
      default:
        if (c < 0x20 && c != '\t') replacement = "";
        break;
    }
    if (replacement == nullptr) continue;
    flush(i);
    out += replacement;
    i += width - 1;
    run_start = i + 1;
  }
  flush(utf8.size());
}

void AppendPoints(std::string& out, double points) {
  long long hundredths = std::llround(points * 100.0);
  if (hundredths == 0) {
    out += '0';
    return;
  }
  if (hundredths < 0) {
    out += '-';
    hundredths = -hundredths;
  }
  const long long whole = hundredths / 100;
  const int fraction = static_cast<int>(hundredths % 100);
  if (whole != 0) out += std::to_string(whole);
  out += '.';
  out += static_cast<char>('0' + fraction / 10);
  if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
}

std::string PointsText(double points) {
  std::string text;
  AppendPoints(text, points);
  return text;
}

void AppendTwipsPt(std::string& out, long long twips) {
  if (twips == 0) {
    out += "0cm";
    return;
  }
  AppendPoints(out, static_cast<double>(twips) / 20.0);
  out += "pt";
}

void AppendTwipsLength(std::string& out, long long twips) {
  if (twips != 0 && twips % 567 == 0) {
    out += std::to_string(twips / 567);
    out += ".0cm";
    return;
  }
  AppendTwipsPt(out, twips);
}

int TwipsToPixels(long long twips) {
  return static_cast<int>(std::llround(static_cast<double>(twips) / 15.0));
}

namespace {

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Languages whose main region Word leaves out of the code ("de-DE" -> "DE").
bool IsMainRegion(std::string_view language, std::string_view region) {
  static constexpr std::string_view kPairs[] = {
      "ja-JP", "ko-KR", "sv-SE", "da-DK", "cs-CZ", "el-GR", "he-IL", "uk-UA", "vi-VN",
      "nb-NO", "et-EE", "sl-SI", "sq-AL", "ca-ES", "eu-ES", "gl-ES", "hi-IN", "fa-IR",
  };
  if (language.size() == region.size()) {
    bool same = true;
    for (size_t i = 0; i < language.size(); ++i) {
      if (AsciiUpper(language[i]) != AsciiUpper(region[i])) same = false;
    }
    if (same) return true;
  }
  for (std::string_view pair : kPairs) {
    const size_t dash = pair.find('-');
    const std::string_view l = pair.substr(0, dash), r = pair.substr(dash + 1);
    if (l.size() != language.size() || r.size() != region.size()) continue;
    bool same = true;
    for (size_t i = 0; i < l.size(); ++i)
      same = same && AsciiUpper(language[i]) == AsciiUpper(l[i]);
    for (size_t i = 0; i < r.size(); ++i) same = same && AsciiUpper(region[i]) == AsciiUpper(r[i]);
    if (same) return true;
  }
  return false;
}

}  // namespace

std::string HtmlLanguage(std::string_view ooxml_language) {
  std::string code;
  const size_t dash = ooxml_language.find('-');
  if (dash != std::string_view::npos &&
      ooxml_language.find('-', dash + 1) == std::string_view::npos &&
      IsMainRegion(ooxml_language.substr(0, dash), ooxml_language.substr(dash + 1))) {
    ooxml_language = ooxml_language.substr(0, dash);
  }
  code.reserve(ooxml_language.size());
  for (char c : ooxml_language) {
    if (c == '"' || c == '\'' || c == '<' || c == '>' || c == ' ' || c == '&') continue;
    code += AsciiUpper(c);
  }
  return code;
}

void AppendCssFontName(std::string& out, std::string_view name) {
  const bool at = !name.empty() && name.front() == '@';
  bool needs_quotes = at;
  for (char c : name) {
    if (c == ' ' || c == ',' || c == ';' || c == '\'' || c == '(' || c == ')') needs_quotes = true;
  }
  if (needs_quotes) out += '"';
  if (at) out += '\\';
  for (char c : name) {
    // A quote of either kind would end the attribute or the CSS string.
    if (c == '"' || c == '\'' || c == '<' || c == '>' || c == '&') continue;
    out += c;
  }
  if (needs_quotes) out += '"';
}

void AppendCssColor(std::string& out, std::string_view value, std::string_view auto_text) {
  if (value.empty() || value == "auto") {
    out += auto_text;
    return;
  }
  bool hex = value.size() == 6;
  for (char c : value) {
    hex = hex && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
  }
  if (hex) {
    out += '#';
    for (char c : value) out += AsciiUpper(c);
    return;
  }
  for (char c : value) {
    if (c == '"' || c == '\'' || c == ';' || c == '<' || c == '>' || c == '&') continue;
    out += c;
  }
}

char32_t NextCodePoint(std::string_view text, size_t& pos) {
  const unsigned char c = static_cast<unsigned char>(text[pos]);
  int extra = 0;
  char32_t value = 0;
  if (c < 0x80) {
    ++pos;
    return c;
  } else if ((c & 0xE0) == 0xC0) {
    extra = 1;
    value = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    value = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    value = c & 0x07;
  } else {
    ++pos;
    return 0xFFFD;
  }
  if (pos + extra >= text.size()) {
    ++pos;
    return 0xFFFD;
  }
  for (int i = 1; i <= extra; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return 0xFFFD;
    }
    value = (value << 6) | (next & 0x3F);
  }
  pos += extra + 1;
  return value;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x110000) {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsEastAsian(char32_t c) {
  return (c >= 0x1100 && c <= 0x11FF) ||  // Hangul Jamo
         (c >= 0x2E80 && c <= 0x303F) ||  // CJK radicals, punctuation
         (c >= 0x3040 && c <= 0x31FF) ||  // kana, bopomofo, strokes
         (c >= 0x3200 && c <= 0x4DBF) ||  // enclosed CJK, ext A
         (c >= 0x4E00 && c <= 0x9FFF) ||  // unified ideographs
         (c >= 0xAC00 && c <= 0xD7AF) ||  // Hangul syllables
         (c >= 0xF900 && c <= 0xFAFF) ||  // compatibility ideographs
         (c >= 0xFE30 && c <= 0xFE4F) ||  // compatibility forms
         (c >= 0xFF00 && c <= 0xFFEF) ||  // full-width forms
         (c >= 0x20000 && c <= 0x3FFFF);  // supplementary ideographs
}

bool ContainsEastAsian(std::string_view utf8) {
  size_t pos = 0;
  while (pos < utf8.size()) {
    if (static_cast<unsigned char>(utf8[pos]) < 0x80) {
      ++pos;
      continue;
    }
    if (IsEastAsian(NextCodePoint(utf8, pos))) return true;
  }
  return false;
}

bool IsBlankText(std::string_view utf8) {
  for (char c : utf8) {
    if (c != ' ') return false;
  }
  return true;
}

}  // namespace tessarine::convert
