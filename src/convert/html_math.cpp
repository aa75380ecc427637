// OMML to MathML. One pass over the equation's tree, appending to the
// caller's buffer. Every OMML object becomes one MathML element; an argument
// (m:e, m:num, m:sub ...) that must be a single element and holds several is
// wrapped in <mrow> after the fact, which moves only the argument's own text.
#include "convert/html_math.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "convert/docx_xml.h"
#include "convert/html_text.h"

namespace tessarine::convert {
namespace {

// Nesting the writer follows; a package may nest without bound, and deeper
// content is left out rather than exhausting the stack.
constexpr int kMaxDepth = 100;

// Columns an m:mcs may ask for; more is a damaged or hostile file.
constexpr int kMaxColumns = 256;

// Spellings OMML leaves to its defaults (ECMA-376 Part 1, 22.1.2).
constexpr std::string_view kIntegral = "\u222B";
constexpr std::string_view kDefaultAccent = "\u0302";
constexpr std::string_view kDefaultGroupChar = "\u23DF";
constexpr std::string_view kFunctionApplication = "\u2061";
constexpr std::string_view kMinusSign = "\u2212";
constexpr std::string_view kOverBar = "\u00AF";
constexpr std::string_view kUnderBar = "_";

bool Is(pugi::xml_node node, const char* name) {
  return std::strcmp(node.name(), name) == 0;
}

// An on/off property such as m:degHide: on when present, unless its m:val
// says otherwise.
bool Flag(pugi::xml_node properties, const char* name) {
  pugi::xml_node flag = properties.child(name);
  return flag && OnOffValue(flag.attribute("m:val").value());
}

// The m:val of a property; nullopt when the property is absent (an empty
// value is a value: m:begChr m:val="" means no delimiter).
std::optional<std::string_view> Value(pugi::xml_node properties, const char* name) {
  pugi::xml_node property = properties.child(name);
  if (!property) return std::nullopt;
  return std::string_view(property.attribute("m:val").value());
}

bool IsPropertyName(const char* name) {
  const size_t length = std::strlen(name);
  return length > 2 && std::strcmp(name + length - 2, "Pr") == 0;
}

// An argument holds something besides its properties. Word keeps empty
// scripts and degrees as placeholders that show nothing.
bool HasContent(pugi::xml_node argument) {
  for (pugi::xml_node child : argument.children()) {
    if (!IsPropertyName(child.name())) return true;
  }
  return false;
}

enum class CharKind { kSpace, kDigit, kLetter, kMark, kOperator, kText };

bool InRange(char32_t c, char32_t first, char32_t last) {
  return c >= first && c <= last;
}

// How a character of a math run is written: letters as identifiers,
// digits as numbers, the mathematical and punctuation blocks as operators,
// combining marks with the letter before them, anything else (CJK text,
// symbols) as text.
CharKind Classify(char32_t c) {
  if (c < 0x80) {
    if (c == ' ' || c == '\t') return CharKind::kSpace;
    if (c >= '0' && c <= '9') return CharKind::kDigit;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return CharKind::kLetter;
    return c < 0x20 || c == 0x7F ? CharKind::kText : CharKind::kOperator;
  }
  if (c == 0xA0 || InRange(c, 0x2000, 0x200B) || c == 0x202F || c == 0x205F || c == 0x3000) {
    return CharKind::kSpace;
  }
  if (c == 0xAC || c == 0xB0 || c == 0xB1 || c == 0xB7 || c == 0xD7 || c == 0xF7) {
    return CharKind::kOperator;
  }
  if (c == 0x221E || c == 0x2205) return CharKind::kLetter;  // infinity, empty set
  if (InRange(c, 0x0300, 0x036F) || InRange(c, 0x1AB0, 0x1AFF) || InRange(c, 0x1DC0, 0x1DFF) ||
      InRange(c, 0x20D0, 0x20FF)) {
    return CharKind::kMark;
  }
  if (c == 0xAA || c == 0xB5 || c == 0xBA) return CharKind::kLetter;
  if (c < 0xC0) return CharKind::kText;  // currency, signs, superscript digits
  if (InRange(c, 0x00C0, 0x02AF) || InRange(c, 0x0370, 0x052F) || InRange(c, 0x1D00, 0x1DBF) ||
      InRange(c, 0x1E00, 0x1FFF) || InRange(c, 0x2100, 0x218F) || InRange(c, 0x1D400, 0x1D7FF)) {
    return CharKind::kLetter;
  }
  if (InRange(c, 0x02B0, 0x02FF) || InRange(c, 0x2010, 0x205E) || InRange(c, 0x2061, 0x2064) ||
      InRange(c, 0x2190, 0x23FF) || InRange(c, 0x25A0, 0x25FF) || InRange(c, 0x27C0, 0x27FF) ||
      InRange(c, 0x2900, 0x2BFF) || InRange(c, 0x3008, 0x3011) || InRange(c, 0x3014, 0x301B) ||
      InRange(c, 0xFF01, 0xFF0F) || InRange(c, 0xFF1A, 0xFF20) || InRange(c, 0xFF3B, 0xFF40) ||
      InRange(c, 0xFF5B, 0xFF65)) {
    return CharKind::kOperator;
  }
  return CharKind::kText;
}

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

// The end of the characters from `pos` on that are of `kind`.
size_t RunEnd(std::string_view text, size_t pos, CharKind kind) {
  while (pos < text.size()) {
    size_t next = pos;
    if (Classify(NextCodePoint(text, next)) != kind) break;
    pos = next;
  }
  return pos;
}

// The end of a number starting at `pos`: digits with at most one decimal
// point between digits ("3.14", ".5").
size_t NumberEnd(std::string_view text, size_t pos) {
  while (pos < text.size() && IsAsciiDigit(text[pos])) ++pos;
  if (pos + 1 < text.size() && text[pos] == '.' && IsAsciiDigit(text[pos + 1])) {
    ++pos;
    while (pos < text.size() && IsAsciiDigit(text[pos])) ++pos;
  }
  return pos;
}

// The end of one letter and the combining marks after it.
size_t LetterEnd(std::string_view text, size_t pos) {
  NextCodePoint(text, pos);
  return RunEnd(text, pos, CharKind::kMark);
}

// Browsers draw an accent from a spacing character; OMML names the
// combining one (m:chr m:val="&#x302;").
char32_t SpacingAccent(char32_t c) {
  switch (c) {
    case 0x0300:
      return 0x0060;
    case 0x0301:
      return 0x00B4;
    case 0x0302:
      return 0x02C6;
    case 0x0303:
      return 0x02DC;
    case 0x0304:
    case 0x0305:
      return 0x00AF;
    case 0x0306:
      return 0x02D8;
    case 0x0307:
      return 0x02D9;
    case 0x0308:
      return 0x00A8;
    case 0x030A:
      return 0x02DA;
    case 0x030C:
      return 0x02C7;
    case 0x20D0:
      return 0x21BC;
    case 0x20D1:
      return 0x21C0;
    case 0x20D6:
      return 0x2190;
    case 0x20D7:
      return 0x2192;
    case 0x20E1:
      return 0x2194;
    default:
      return c;
  }
}

bool IsIntegral(std::string_view chr) {
  size_t pos = 0;
  const char32_t c = chr.empty() ? 0 : NextCodePoint(chr, pos);
  return InRange(c, 0x222B, 0x2233) || InRange(c, 0x2A0B, 0x2A1C);
}

// How the letters and digits of one m:r are written (m:rPr: m:nor, m:sty,
// m:scr).
struct RunStyle {
  bool normal_text = false;         // m:nor: the run is ordinary text
  bool group_letters = false;       // upright roman: "sin" is one identifier
  std::string_view letter_variant;  // mathvariant of an identifier
  std::string_view number_variant;  // mathvariant of a number
};

RunStyle StyleOf(pugi::xml_node properties, bool plain_default) {
  RunStyle style;
  style.normal_text = Flag(properties, "m:nor");
  const std::string_view sty = Value(properties, "m:sty").value_or(plain_default ? "p" : "i");
  const std::string_view scr = Value(properties, "m:scr").value_or("roman");
  const bool bold = sty == "b" || sty == "bi";
  const bool italic = sty == "i" || sty == "bi";
  if (scr == "double-struck") {
    style.letter_variant = style.number_variant = "double-struck";
  } else if (scr == "fraktur") {
    style.letter_variant = style.number_variant = bold ? "bold-fraktur" : "fraktur";
  } else if (scr == "script") {
    style.letter_variant = style.number_variant = bold ? "bold-script" : "script";
  } else if (scr == "sans-serif") {
    style.letter_variant = bold ? (italic ? "sans-serif-bold-italic" : "bold-sans-serif")
                                : (italic ? "sans-serif-italic" : "sans-serif");
    style.number_variant = bold ? "bold-sans-serif" : "sans-serif";
  } else if (scr == "monospace") {
    style.letter_variant = style.number_variant = "monospace";
  } else {
    style.group_letters = !italic;
    style.letter_variant = bold ? (italic ? "bold-italic" : "bold") : (italic ? "" : "normal");
    style.number_variant = bold ? "bold" : "";
  }
  return style;
}

class MathWriter {
 public:
  explicit MathWriter(std::string& out) : out_(out) {}

  void Equation(pugi::xml_node math, bool display) {
    out_ += display ? "<![if !msEquation]><math display=\"block\">" : "<![if !msEquation]><math>";
    Objects(math);
    out_ += "</math><![endif]>";
  }
  bool complete() const { return !truncated_; }

 private:
  // The objects of `parent` in order; returns how many MathML elements they
  // made. `plain_runs`: its runs without a style are upright (function
  // names, which Word marks m:sty="p" itself, but not every producer does).
  int Objects(pugi::xml_node parent, bool plain_runs = false);
  int Object(pugi::xml_node node, bool plain_runs);
  // Exactly one element: the argument's objects, in <mrow> unless there is
  // exactly one.
  void Argument(pugi::xml_node argument, bool plain_runs = false);
  int Run(pugi::xml_node run, bool plain_default);
  int MathText(std::string_view text, const RunStyle& style);
  int PlainText(std::string_view text);

  void Fraction(pugi::xml_node f);
  void Scripts(pugi::xml_node node, const char* tag, bool base, bool sub, bool sup);
  void PreScripts(pugi::xml_node pre);
  void Radical(pugi::xml_node rad);
  void Matrix(pugi::xml_node m);
  void Nary(pugi::xml_node nary);
  void Delimiter(pugi::xml_node d);
  void Accent(pugi::xml_node acc);
  void Bar(pugi::xml_node bar);
  void GroupChar(pugi::xml_node group);
  void Limit(pugi::xml_node limit, const char* tag);
  void Function(pugi::xml_node func);
  void BorderBox(pugi::xml_node box);
  void EquationArray(pugi::xml_node array);
  void Phantom(pugi::xml_node phantom);

  void Token(std::string_view tag, std::string_view variant, std::string_view text);
  void Operator(std::string_view text, bool stretchy = true);
  bool Enter() {
    if (depth_ >= kMaxDepth) {
      truncated_ = true;
      return false;
    }
    ++depth_;
    return true;
  }
  void Leave() { --depth_; }

  std::string& out_;
  int depth_ = 0;
  bool truncated_ = false;
};

int MathWriter::Objects(pugi::xml_node parent, bool plain_runs) {
  if (!Enter()) return 0;
  int count = 0;
  for (pugi::xml_node child : parent.children()) count += Object(child, plain_runs);
  Leave();
  return count;
}

void MathWriter::Argument(pugi::xml_node argument, bool plain_runs) {
  const size_t start = out_.size();
  if (Objects(argument, plain_runs) == 1) return;
  out_.insert(start, "<mrow>");
  out_ += "</mrow>";
}

int MathWriter::Object(pugi::xml_node node, bool plain_runs) {
  const char* name = node.name();
  if (std::strncmp(name, "m:", 2) == 0) {
    const std::string_view local = name + 2;
    if (local == "r") return Run(node, plain_runs);
    if (local == "f") {
      Fraction(node);
    } else if (local == "sSub") {
      Scripts(node, "msub", true, true, false);
    } else if (local == "sSup") {
      Scripts(node, "msup", true, false, true);
    } else if (local == "sSubSup") {
      Scripts(node, "msubsup", true, true, true);
    } else if (local == "sPre") {
      PreScripts(node);
    } else if (local == "rad") {
      Radical(node);
    } else if (local == "m") {
      Matrix(node);
    } else if (local == "nary") {
      Nary(node);
    } else if (local == "d") {
      Delimiter(node);
    } else if (local == "acc") {
      Accent(node);
    } else if (local == "bar") {
      Bar(node);
    } else if (local == "groupChr") {
      GroupChar(node);
    } else if (local == "limLow") {
      Limit(node, "munder");
    } else if (local == "limUpp") {
      Limit(node, "mover");
    } else if (local == "func") {
      Function(node);
    } else if (local == "box") {
      Argument(node.child("m:e"));
    } else if (local == "borderBox") {
      BorderBox(node);
    } else if (local == "eqArr") {
      EquationArray(node);
    } else if (local == "phant") {
      Phantom(node);
    } else if (IsPropertyName(name)) {
      return 0;
    } else {
      // A stray argument or an element of a later schema: its content in
      // its place.
      return Objects(node, plain_runs);
    }
    return 1;
  }
  if (std::strncmp(name, "w:", 2) == 0) {
    const std::string_view local = name + 2;
    if (local == "r") {
      // Ordinary text that a producer put inside the equation.
      std::string text;
      for (pugi::xml_node t : node.children("w:t")) text += t.text().get();
      return PlainText(text);
    }
    // Accepted insertions and wrappers count; deletions, bookmarks and
    // proofing marks write nothing.
    if (local == "ins" || local == "moveTo" || local == "smartTag" || local == "customXml" ||
        local == "hyperlink" || local == "dir" || local == "bdo") {
      return Objects(node, plain_runs);
    }
    if (local == "sdt") return Objects(node.child("w:sdtContent"), plain_runs);
    return 0;
  }
  if (Is(node, "mc:AlternateContent")) {
    pugi::xml_node choice = node.child("mc:Choice");
    return Objects(choice ? choice : node.child("mc:Fallback"), plain_runs);
  }
  return 0;
}

void MathWriter::Token(std::string_view tag, std::string_view variant, std::string_view text) {
  out_ += '<';
  out_ += tag;
  if (!variant.empty()) {
    out_ += " mathvariant=\"";
    out_ += variant;
    out_ += '"';
  }
  out_ += '>';
  AppendEscapedText(out_, text);
  out_ += "</";
  out_ += tag;
  out_ += '>';
}

void MathWriter::Operator(std::string_view text, bool stretchy) {
  out_ += stretchy ? "<mo>" : "<mo stretchy=\"false\">";
  AppendEscapedText(out_, text);
  out_ += "</mo>";
}

int MathWriter::Run(pugi::xml_node run, bool plain_default) {
  const RunStyle style = StyleOf(run.child("m:rPr"), plain_default);
  int count = 0;
  for (pugi::xml_node child : run.children()) {
    if (Is(child, "m:t") || Is(child, "w:t")) {
      const std::string_view text = child.text().get();
      count += style.normal_text ? PlainText(text) : MathText(text, style);
    } else if (Is(child, "w:tab")) {
      count += PlainText(" ");
    }
  }
  return count;
}

// Ordinary text: one <mtext>. Spaces become no-break spaces, which MathML
// keeps at the ends of the text.
int MathWriter::PlainText(std::string_view text) {
  if (text.empty()) return 0;
  out_ += "<mtext>";
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    const char32_t c = NextCodePoint(text, pos);
    if (c == ' ' || c == '\t' || c == 0xA0) {
      out_ += "&nbsp;";
    } else {
      AppendEscapedText(out_, text.substr(start, pos - start));
    }
  }
  out_ += "</mtext>";
  return 1;
}

int MathWriter::MathText(std::string_view text, const RunStyle& style) {
  int count = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    size_t next = pos;
    const char32_t c = NextCodePoint(text, next);
    CharKind kind = Classify(c);
    if (c == '.' && next < text.size() && IsAsciiDigit(text[next])) kind = CharKind::kDigit;
    switch (kind) {
      case CharKind::kSpace:
        pos = RunEnd(text, start, CharKind::kSpace);
        PlainText(text.substr(start, pos - start));
        break;
      case CharKind::kDigit:
        pos = NumberEnd(text, start);
        Token("mn", style.number_variant, text.substr(start, pos - start));
        break;
      case CharKind::kLetter:
      case CharKind::kMark:
        if (style.group_letters) {
          pos = start;
          while (pos < text.size()) {
            size_t after = pos;
            const CharKind k = Classify(NextCodePoint(text, after));
            if (k != CharKind::kLetter && k != CharKind::kMark) break;
            pos = after;
          }
          // A name of several letters is upright by itself; a single
          // letter needs the variant.
          const std::string_view name = text.substr(start, pos - start);
          const bool single = LetterEnd(name, 0) == name.size();
          Token("mi", single || style.letter_variant != "normal" ? style.letter_variant : "", name);
        } else {
          pos = LetterEnd(text, start);
          Token("mi", style.letter_variant, text.substr(start, pos - start));
        }
        break;
      case CharKind::kOperator:
        pos = next;
        // Word shows the hyphen of an equation as a minus sign; browsers
        // draw the character they are given.
        Operator(c == '-' ? kMinusSign : text.substr(start, pos - start));
        break;
      case CharKind::kText:
        pos = RunEnd(text, start, CharKind::kText);
        Token("mtext", "", text.substr(start, pos - start));
        break;
    }
    ++count;
  }
  return count;
}

void MathWriter::Fraction(pugi::xml_node f) {
  const std::string_view type = Value(f.child("m:fPr"), "m:type").value_or("bar");
  if (type == "lin") {
    out_ += "<mrow>";
    Argument(f.child("m:num"));
    Operator("/");
    Argument(f.child("m:den"));
    out_ += "</mrow>";
    return;
  }
  out_ += type == "noBar" ? "<mfrac linethickness=\"0\">"
          : type == "skw" ? "<mfrac bevelled=\"true\">"
                          : "<mfrac>";
  Argument(f.child("m:num"));
  Argument(f.child("m:den"));
  out_ += "</mfrac>";
}

void MathWriter::Scripts(pugi::xml_node node, const char* tag, bool base, bool sub, bool sup) {
  out_ += '<';
  out_ += tag;
  out_ += '>';
  if (base) Argument(node.child("m:e"));
  if (sub) Argument(node.child("m:sub"));
  if (sup) Argument(node.child("m:sup"));
  out_ += "</";
  out_ += tag;
  out_ += '>';
}

void MathWriter::PreScripts(pugi::xml_node pre) {
  out_ += "<mmultiscripts>";
  Argument(pre.child("m:e"));
  out_ += "<mprescripts/>";
  Argument(pre.child("m:sub"));
  Argument(pre.child("m:sup"));
  out_ += "</mmultiscripts>";
}

void MathWriter::Radical(pugi::xml_node rad) {
  const pugi::xml_node degree = rad.child("m:deg");
  if (Flag(rad.child("m:radPr"), "m:degHide") || !HasContent(degree)) {
    out_ += "<msqrt>";
    Objects(rad.child("m:e"));
    out_ += "</msqrt>";
    return;
  }
  out_ += "<mroot>";
  Argument(rad.child("m:e"));
  Argument(degree);
  out_ += "</mroot>";
}

void MathWriter::Matrix(pugi::xml_node m) {
  // Column alignment (m:mcs): one m:mc per group of m:count columns.
  int columns = 0;
  for (pugi::xml_node row : m.children("m:mr")) {
    int cells = 0;
    for (pugi::xml_node cell = row.child("m:e"); cell && cells < kMaxColumns;
         cell = cell.next_sibling("m:e")) {
      ++cells;
    }
    columns = std::max(columns, cells);
  }
  std::string align;
  bool uneven = false;
  int described = 0;
  for (pugi::xml_node mc : m.child("m:mPr").child("m:mcs").children("m:mc")) {
    const pugi::xml_node properties = mc.child("m:mcPr");
    const int count =
        std::clamp(IntAttribute(properties.child("m:count"), "m:val").value_or(1), 1, kMaxColumns);
    const std::string_view jc = Value(properties, "m:mcJc").value_or("center");
    const std::string_view value = jc == "left" ? "left" : jc == "right" ? "right" : "center";
    uneven = uneven || value != "center";
    for (int i = 0; i < count && described < columns; ++i, ++described) {
      if (!align.empty()) align += ' ';
      align += value;
    }
  }
  out_ += "<mtable";
  if (uneven) {
    out_ += " columnalign=\"";
    out_ += align;
    out_ += '"';
  }
  out_ += '>';
  for (pugi::xml_node row : m.children("m:mr")) {
    out_ += "<mtr>";
    for (pugi::xml_node cell : row.children("m:e")) {
      out_ += "<mtd>";
      Objects(cell);
      out_ += "</mtd>";
    }
    out_ += "</mtr>";
  }
  out_ += "</mtable>";
}

void MathWriter::Nary(pugi::xml_node nary) {
  const pugi::xml_node properties = nary.child("m:naryPr");
  const std::string_view chr = Value(properties, "m:chr").value_or(kIntegral);
  // Without m:limLoc Word's defaults apply: limits beside an integral,
  // above and below every other operator.
  const std::optional<std::string_view> location = Value(properties, "m:limLoc");
  const bool under_over = location ? *location == "undOvr" : !IsIntegral(chr);
  const bool sub = !Flag(properties, "m:subHide") && HasContent(nary.child("m:sub"));
  const bool sup = !Flag(properties, "m:supHide") && HasContent(nary.child("m:sup"));
  const char* tag = nullptr;
  if (sub && sup) {
    tag = under_over ? "munderover" : "msubsup";
  } else if (sub) {
    tag = under_over ? "munder" : "msub";
  } else if (sup) {
    tag = under_over ? "mover" : "msup";
  }
  out_ += "<mrow>";
  if (tag != nullptr) {
    out_ += '<';
    out_ += tag;
    out_ += '>';
  }
  if (chr.empty()) {
    out_ += "<mrow></mrow>";
  } else {
    Operator(chr);
  }
  if (sub) Argument(nary.child("m:sub"));
  if (sup) Argument(nary.child("m:sup"));
  if (tag != nullptr) {
    out_ += "</";
    out_ += tag;
    out_ += '>';
  }
  Objects(nary.child("m:e"));
  out_ += "</mrow>";
}

void MathWriter::Delimiter(pugi::xml_node d) {
  const pugi::xml_node properties = d.child("m:dPr");
  const std::string_view begin = Value(properties, "m:begChr").value_or("(");
  const std::string_view end = Value(properties, "m:endChr").value_or(")");
  const std::string_view separator = Value(properties, "m:sepChr").value_or("|");
  const bool grow = !properties.child("m:grow") || Flag(properties, "m:grow");
  const pugi::xml_node first = d.child("m:e");
  const bool several = first && first.next_sibling("m:e");
  out_ += "<mrow>";
  if (!begin.empty()) Operator(begin, grow);
  for (pugi::xml_node e = first; e; e = e.next_sibling("m:e")) {
    if (e != first && !separator.empty()) Operator(separator, grow);
    if (several) {
      Argument(e);
    } else {
      Objects(e);
    }
  }
  if (!end.empty()) Operator(end, grow);
  out_ += "</mrow>";
}

void MathWriter::Accent(pugi::xml_node acc) {
  const std::string_view chr = Value(acc.child("m:accPr"), "m:chr").value_or(kDefaultAccent);
  if (chr.empty()) {
    Argument(acc.child("m:e"));
    return;
  }
  out_ += "<mover accent=\"true\">";
  Argument(acc.child("m:e"));
  std::string mark;
  size_t pos = 0;
  while (pos < chr.size()) AppendUtf8(mark, SpacingAccent(NextCodePoint(chr, pos)));
  Operator(mark);
  out_ += "</mover>";
}

void MathWriter::Bar(pugi::xml_node bar) {
  const bool top = Value(bar.child("m:barPr"), "m:pos").value_or("bot") == "top";
  out_ += top ? "<mover accent=\"true\">" : "<munder accentunder=\"true\">";
  Argument(bar.child("m:e"));
  Operator(top ? kOverBar : kUnderBar);
  out_ += top ? "</mover>" : "</munder>";
}

void MathWriter::GroupChar(pugi::xml_node group) {
  const pugi::xml_node properties = group.child("m:groupChrPr");
  const std::string_view chr = Value(properties, "m:chr").value_or(kDefaultGroupChar);
  const bool top = Value(properties, "m:pos").value_or("bot") == "top";
  out_ += top ? "<mover>" : "<munder>";
  Argument(group.child("m:e"));
  if (chr.empty()) {
    out_ += "<mrow></mrow>";
  } else {
    Operator(chr);
  }
  out_ += top ? "</mover>" : "</munder>";
}

void MathWriter::Limit(pugi::xml_node limit, const char* tag) {
  out_ += '<';
  out_ += tag;
  out_ += '>';
  Argument(limit.child("m:e"));
  Argument(limit.child("m:lim"));
  out_ += "</";
  out_ += tag;
  out_ += '>';
}

void MathWriter::Function(pugi::xml_node func) {
  out_ += "<mrow>";
  Argument(func.child("m:fName"), true);
  Operator(kFunctionApplication);
  Objects(func.child("m:e"));
  out_ += "</mrow>";
}

void MathWriter::BorderBox(pugi::xml_node box) {
  const pugi::xml_node properties = box.child("m:borderBoxPr");
  std::string notation;
  auto add = [&](std::string_view name) {
    if (!notation.empty()) notation += ' ';
    notation += name;
  };
  const bool top = !Flag(properties, "m:hideTop"), bottom = !Flag(properties, "m:hideBot");
  const bool left = !Flag(properties, "m:hideLeft"), right = !Flag(properties, "m:hideRight");
  if (top && bottom && left && right) {
    add("box");
  } else {
    if (top) add("top");
    if (bottom) add("bottom");
    if (left) add("left");
    if (right) add("right");
  }
  if (Flag(properties, "m:strikeH")) add("horizontalstrike");
  if (Flag(properties, "m:strikeV")) add("verticalstrike");
  if (Flag(properties, "m:strikeBLTR")) add("updiagonalstrike");
  if (Flag(properties, "m:strikeTLBR")) add("downdiagonalstrike");
  if (notation.empty()) {
    Argument(box.child("m:e"));
    return;
  }
  out_ += "<menclose notation=\"";
  out_ += notation;
  out_ += "\">";
  Objects(box.child("m:e"));
  out_ += "</menclose>";
}

// One row per m:e. A run marked m:aln is an alignment point: it starts a
// new cell, and the cells align right, left, right ... so that the rows
// line up at those points.
void MathWriter::EquationArray(pugi::xml_node array) {
  out_ += "<mtable";
  const size_t attributes = out_.size();
  out_ += '>';
  int columns = 1;
  for (pugi::xml_node row : array.children("m:e")) {
    out_ += "<mtr><mtd>";
    int cells = 1;
    if (Enter()) {
      for (pugi::xml_node child : row.children()) {
        if (Is(child, "m:r") && child.child("m:rPr").child("m:aln") && cells < kMaxColumns) {
          out_ += "</mtd><mtd>";
          ++cells;
        }
        Object(child, false);
      }
      Leave();
    }
    out_ += "</mtd></mtr>";
    columns = std::max(columns, cells);
  }
  out_ += "</mtable>";
  if (columns > 1) {
    std::string align = " columnalign=\"";
    for (int i = 0; i < columns; ++i) {
      if (i > 0) align += ' ';
      align += i % 2 == 0 ? "right" : "left";
    }
    align += '"';
    out_.insert(attributes, align);
  }
}

void MathWriter::Phantom(pugi::xml_node phantom) {
  const pugi::xml_node properties = phantom.child("m:phantPr");
  if (!properties.child("m:show") || Flag(properties, "m:show")) {
    Argument(phantom.child("m:e"));
    return;
  }
  out_ += "<mphantom>";
  Objects(phantom.child("m:e"));
  out_ += "</mphantom>";
}

}  // namespace

bool AppendEquationHtml(pugi::xml_node equation, std::string& out) {
  MathWriter writer(out);
  if (Is(equation, "m:oMathPara")) {
    for (pugi::xml_node math : equation.children("m:oMath")) writer.Equation(math, true);
  } else {
    writer.Equation(equation, false);
  }
  return writer.complete();
}

}  // namespace tessarine::convert
