// The body of a Word HTML file: sections, paragraphs and headings, runs,
// list labels, bookmarks, hyperlinks and fields. Tables are in
// html_table.cpp.
#include "convert/html_body.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <utility>

#include "convert/docx_xml.h"
#include "convert/html_math.h"
#include "convert/html_text.h"
#include "support/text_file.h"

namespace tessarine::convert {

namespace {

bool Is(pugi::xml_node node, const char* name) {
  return std::strcmp(node.name(), name) == 0;
}

// Element nesting the writer follows. A package may nest elements without
// bound; deeper content is left out rather than exhausting the stack.
constexpr int kMaxNesting = 200;

// Containers that only group blocks or runs; their content counts as if it
// stood in their place.
bool IsBlockGroup(pugi::xml_node node) {
  return Is(node, "w:customXml") || Is(node, "w:ins") || Is(node, "w:moveTo");
}

pugi::xml_node SdtContent(pugi::xml_node sdt) {
  return sdt.child("w:sdtContent");
}

// Alternate content holds the same thing twice (a modern form and a
// fallback); only one may be written.
pugi::xml_node AlternateBranch(pugi::xml_node alternate) {
  pugi::xml_node choice = alternate.child("mc:Choice");
  return choice ? choice : alternate.child("mc:Fallback");
}

void CollectSections(pugi::xml_node container, std::vector<pugi::xml_node>& out, int depth = 0) {
  if (depth > kMaxNesting) return;
  for (pugi::xml_node child : container.children()) {
    if (Is(child, "w:p")) {
      if (pugi::xml_node sect = child.child("w:pPr").child("w:sectPr")) out.push_back(sect);
    } else if (Is(child, "w:sdt")) {
      CollectSections(SdtContent(child), out, depth + 1);
    } else if (IsBlockGroup(child)) {
      CollectSections(child, out, depth + 1);
    }
  }
}

void AppendParagraphText(pugi::xml_node node, std::string& text, int depth = 0) {
  if (depth > kMaxNesting) return;
  for (pugi::xml_node child : node.children()) {
    if (Is(child, "w:t")) {
      text += child.text().get();
    } else if (Is(child, "w:tab")) {
      text += ' ';
    } else if (Is(child, "w:del") || Is(child, "w:moveFrom") || Is(child, "w:pPr") ||
               Is(child, "w:rPr") || Is(child, "w:instrText")) {
      continue;
    } else if (child.first_child()) {
      AppendParagraphText(child, text, depth + 1);
    }
  }
}

bool FindFirstWords(pugi::xml_node container, std::string& words, int depth = 0);

// The same for the siblings [first, end).
bool FindFirstWordsIn(pugi::xml_node first, pugi::xml_node end, std::string& words, int depth) {
  for (pugi::xml_node child = first; child != end; child = child.next_sibling()) {
    if (Is(child, "w:p")) {
      std::string text;
      AppendParagraphText(child, text);
      // Collapse white space, as a title shows it.
      std::string collapsed;
      for (char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (space && (collapsed.empty() || collapsed.back() == ' ')) continue;
        collapsed += space ? ' ' : c;
      }
      while (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
      if (!collapsed.empty()) {
        words = std::move(collapsed);
        return true;
      }
    } else if (Is(child, "w:tbl")) {
      for (pugi::xml_node tr : child.children("w:tr")) {
        for (pugi::xml_node tc : tr.children("w:tc")) {
          if (FindFirstWords(tc, words, depth + 1)) return true;
        }
      }
    } else if (Is(child, "w:sdt")) {
      if (FindFirstWords(SdtContent(child), words, depth + 1)) return true;
    } else if (IsBlockGroup(child)) {
      if (FindFirstWords(child, words, depth + 1)) return true;
    }
  }
  return false;
}

bool FindFirstWords(pugi::xml_node container, std::string& words, int depth) {
  if (depth > kMaxNesting) return false;
  return FindFirstWordsIn(container.first_child(), pugi::xml_node(), words, depth);
}

// The paragraph mark was deleted with change tracking on.
bool IsDeletedMark(pugi::xml_node ppr) {
  pugi::xml_node mark = ppr.child("w:rPr");
  return mark.child("w:del") || mark.child("w:moveFrom");
}

bool HasAcceptedContent(pugi::xml_node node, int depth = 0) {
  if (depth > kMaxNesting) return false;
  for (pugi::xml_node child : node.children()) {
    if (Is(child, "w:del") || Is(child, "w:moveFrom") || Is(child, "w:pPr")) continue;
    if (Is(child, "w:t") || Is(child, "w:tab") || Is(child, "w:br") || Is(child, "w:drawing") ||
        Is(child, "w:pict") || Is(child, "w:object") || Is(child, "w:sym") ||
        Is(child, "m:oMath")) {
      return true;
    }
    if (child.first_child() && HasAcceptedContent(child, depth + 1)) return true;
  }
  return false;
}

// The style id a sibling paragraph uses; nullopt when the sibling is not a
// paragraph (a table or nothing ends a group of contextual spacing).
std::optional<std::string_view> SiblingStyle(pugi::xml_node p, bool next,
                                             std::string_view default_style) {
  pugi::xml_node sibling = next ? p.next_sibling() : p.previous_sibling();
  while (sibling &&
         (Is(sibling, "w:bookmarkStart") || Is(sibling, "w:bookmarkEnd") ||
          Is(sibling, "w:proofErr") || Is(sibling, "w:permStart") || Is(sibling, "w:permEnd") ||
          Is(sibling, "w:commentRangeStart") || Is(sibling, "w:commentRangeEnd"))) {
    sibling = next ? sibling.next_sibling() : sibling.previous_sibling();
  }
  if (!sibling || !Is(sibling, "w:p")) return std::nullopt;
  const char* id = sibling.child("w:pPr").child("w:pStyle").attribute("w:val").value();
  return *id != '\0' ? std::string_view(id) : default_style;
}

// Elements that may stand between a bookmark's start and end for the anchor
// to wrap the text in between.
bool CanStandInAnchor(pugi::xml_node node) {
  if (Is(node, "w:r")) return !node.child("w:fldChar");
  return Is(node, "w:proofErr") || Is(node, "w:bookmarkStart") || Is(node, "w:bookmarkEnd") ||
         Is(node, "w:del") || Is(node, "w:moveFrom") || Is(node, "w:commentRangeStart") ||
         Is(node, "w:commentRangeEnd") || Is(node, "w:permStart") || Is(node, "w:permEnd");
}

std::string UpperWord(std::string_view instruction, size_t* end) {
  size_t pos = 0;
  while (pos < instruction.size() && instruction[pos] == ' ') ++pos;
  std::string word;
  while (pos < instruction.size() && instruction[pos] != ' ' && instruction[pos] != '\\') {
    char c = instruction[pos++];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    word += c;
  }
  if (end != nullptr) *end = pos;
  return word;
}

// Fields whose result the page-footer stage renumbers for every page.
bool IsPageNumberKind(std::string_view kind) {
  return kind == "PAGE" || kind == "NUMPAGES";
}

// The start tag of a simple field: the code sits in a CSS string inside a
// single-quoted attribute, so quotes of both kinds are escaped, markup
// characters as entities.
std::string FieldCodeSpan(std::string_view instruction) {
  std::string open = "<span style='mso-field-code:\"";
  for (char c : instruction) {
    if (c == '\'') {
      open += "&#39;";
    } else if (c == '"') {
      open += "\\0022";
    } else if (c == '&' || c == '<' || c == '>') {
      AppendEscapedText(open, std::string_view(&c, 1));
    } else {
      open += c;
    }
  }
  open += "\"'>";
  return open;
}

// The target of a HYPERLINK field: the first argument, plus "#x" for \l "x".
std::string HyperlinkFieldTarget(std::string_view instruction) {
  size_t pos = 0;
  UpperWord(instruction, &pos);
  std::string url, anchor;
  bool next_is_anchor = false;
  while (pos < instruction.size()) {
    while (pos < instruction.size() && instruction[pos] == ' ') ++pos;
    if (pos >= instruction.size()) break;
    std::string token;
    bool is_switch = false;
    if (instruction[pos] == '"') {
      const size_t close = instruction.find('"', pos + 1);
      token = std::string(instruction.substr(
          pos + 1, close == std::string_view::npos ? std::string_view::npos : close - pos - 1));
      pos = close == std::string_view::npos ? instruction.size() : close + 1;
    } else {
      const size_t space = instruction.find(' ', pos);
      token = std::string(instruction.substr(
          pos, space == std::string_view::npos ? std::string_view::npos : space - pos));
      is_switch = !token.empty() && token[0] == '\\';
      pos = space == std::string_view::npos ? instruction.size() : space;
    }
    if (is_switch) {
      next_is_anchor = token == "\\l" || token == "\\L";
      continue;
    }
    if (next_is_anchor) {
      anchor = token;
      next_is_anchor = false;
    } else if (url.empty()) {
      url = token;
    }
  }
  if (!anchor.empty()) url += "#" + anchor;
  return url;
}

// The character a symbol-font code shows when written in that font, as Word
// writes it: the low byte read as Windows-1252.
char32_t SymbolCharacter(unsigned code) {
  static constexpr char16_t kCp1252High[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (code >= 0xF000 && code <= 0xF0FF) code -= 0xF000;
  if (code >= 0x80 && code < 0xA0) return kCp1252High[code - 0x80];
  return code;
}

}  // namespace

void AppendAttributeText(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
}

std::vector<pugi::xml_node> SectionNodes(pugi::xml_node body) {
  std::vector<pugi::xml_node> nodes;
  CollectSections(body, nodes);
  nodes.push_back(body.child("w:sectPr"));
  return nodes;
}

std::string FirstWords(const DocxPackage& package) {
  std::string words;
  // Without the words (a stretch that cannot be read) the title stays empty;
  // the body's writing meets the same failure and reports it.
  (void)package.ForEachBodyPiece([&](pugi::xml_node first, pugi::xml_node end) {
    return !FindFirstWordsIn(first, end, words, 0);
  });
  // Word takes about the first line; cut long text at a word boundary.
  constexpr size_t kMaxCodePoints = 64;
  size_t pos = 0, count = 0, last_space = std::string::npos;
  while (pos < words.size() && count < kMaxCodePoints) {
    if (words[pos] == ' ') last_space = pos;
    NextCodePoint(words, pos);
    ++count;
  }
  if (pos < words.size()) {
    words.resize(last_space != std::string::npos && last_space > pos / 2 ? last_space : pos);
  }
  return words;
}

void WriteHtmlBody(const HtmlDocument& doc, std::string& out) {
  BodyWriter writer(doc, out);
  writer.Write();
}

void WriteHtmlBody(const HtmlDocument& doc, std::string& out,
                   const std::function<void(std::string&)>& drain) {
  BodyWriter writer(doc, out);
  writer.SetDrain(&drain);
  writer.Write();
}

// --- BodyWriter --------------------------------------------------------------

BodyWriter::BodyWriter(const HtmlDocument& doc, std::string& out)
    : doc_(doc),
      out_(out),
      main_counter_(doc.numbering),
      text_box_counter_(doc.numbering),
      counter_(&main_counter_) {
  if (const Style* style = doc.styles.DefaultStyle(StyleType::kParagraph)) {
    default_paragraph_style_ = style->style_id;
  }
}

void BodyWriter::Write() {
  out_ += "<body lang=";
  out_ += doc_.body_language;
  // Link colours come from the hyperlink styles, as Word's body tag shows.
  auto link_color = [&](std::string_view style_name, std::string_view fallback) {
    const Style* style = doc_.styles.FindByName(style_name);
    if (style != nullptr) {
      const RunProperties run = doc_.styles.EffectiveRun(style->style_id);
      if (run.color && run.color->size() == 6) {
        std::string value = "\"";
        AppendCssColor(value, *run.color, "");
        return value + "\"";
      }
    }
    return std::string(fallback);
  };
  out_ += " link=" + link_color("Hyperlink", "blue");
  out_ += " vlink=" + link_color("FollowedHyperlink", "purple");
  out_ += " style='tab-interval:";
  AppendTwipsPt(out_, doc_.package->settings().default_tab_stop);
  const std::string_view lang = doc_.body_language;
  if (lang.starts_with("ZH") || lang.starts_with("JA") || lang.starts_with("KO")) {
    out_ += ";text-justify-trim:punctuation";
  }
  out_ += "'>\r\n\r\n<div class=WordSection1>\r\n\r\n";
  section_index_ = 0;
  status_ = doc_.package->ForEachBodyPiece([&](pugi::xml_node first, pugi::xml_node end) {
    // A stretch's tree is new even where it stands where an earlier one
    // stood: text-box chains read from that one would point into freed nodes.
    text_box_chains_.erase(first.root().internal_object());
    WriteBlocks(first, end, 0);
    return true;
  });
  if (!status_.ok()) doc_.Diagnose(status_.message());
  WriteNoteLists();
  out_ += "</div>\r\n\r\n</body>\r\n\r\n</html>\r\n";
}

bool BodyWriter::EnterNested() {
  if (nesting_ >= kMaxNesting) {
    if (!nesting_reported_) {
      doc_.Diagnose("Content nested more than " + std::to_string(kMaxNesting) +
                    " elements deep was left out.");
      nesting_reported_ = true;
    }
    return false;
  }
  ++nesting_;
  return true;
}

bool BodyWriter::OverBudget() {
  if (!budget_status_.ok() || stopped_) return true;
  // A stop is asked for now and then, not at every block: the question may
  // cost a lock where the caller counts progress.
  constexpr unsigned kBlocksBetweenStopChecks = 32;
  if (stop_requested_ != nullptr && *stop_requested_ &&
      ++blocks_since_stop_check_ >= kBlocksBetweenStopChecks) {
    blocks_since_stop_check_ = 0;
    if ((*stop_requested_)()) {
      stopped_ = true;
      return true;
    }
  }
  if (drained_ + out_.size() <= budget_) return false;
  budget_status_ = support::Status::Error(
      support::StatusCode::kResourceLimit,
      "the page grew past " + std::to_string(budget_ >> 20) +
          " MB, far more than the document holds (declared sizes or repeat counts out of all "
          "proportion)");
  return true;
}

void BodyWriter::WriteBlocks(pugi::xml_node container, int depth) {
  WriteBlocks(container.first_child(), pugi::xml_node(), depth);
}

void BodyWriter::WriteBlocks(pugi::xml_node first, pugi::xml_node end, int depth) {
  if (!EnterNested()) return;
  // Past this much rendered text the caller's drain takes it (a whole block
  // at a time, so the pieces end on complete characters).
  constexpr size_t kDrainBytes = 1 << 20;
  for (pugi::xml_node child = first; child != end; child = child.next_sibling()) {
    if (OverBudget()) break;
    if (drain_ != nullptr && out_.size() >= kDrainBytes) {
      drained_ += out_.size();
      (*drain_)(out_);
    }
    if (Is(child, "w:p")) {
      WriteParagraph(child, depth);
      if (depth == 0 && child.child("w:pPr").child("w:sectPr") &&
          section_index_ + 1 < doc_.sections.size()) {
        ++section_index_;
        out_ += "</div>\r\n\r\n";
        WriteSectionBreak(doc_.sections[section_index_]);
        out_ += "<div class=WordSection" + std::to_string(section_index_ + 1) + ">\r\n\r\n";
      }
    } else if (Is(child, "w:tbl")) {
      WriteTable(child, depth);
    } else if (Is(child, "w:sdt")) {
      WriteBlocks(SdtContent(child), depth);
    } else if (IsBlockGroup(child)) {
      WriteBlocks(child, depth);
    } else if (Is(child, "w:bookmarkStart")) {
      const char* name = child.attribute("w:name").value();
      if (*name != '\0') block_bookmarks_.emplace_back(name);
    } else if (Is(child, "w:altChunk")) {
      WriteAltChunk(child, depth);
    }
  }
  --nesting_;
}

void BodyWriter::WriteSectionBreak(const SectionProperties& next) {
  if (next.break_type == "continuous") {
    out_ += "<br clear=all style='mso-break-type:section-break'>\r\n\r\n";
  } else if (next.break_type == "oddPage") {
    out_ += "<br clear=all style='page-break-before:right;mso-break-type:section-break'>\r\n\r\n";
  } else if (next.break_type == "evenPage") {
    out_ += "<br clear=all style='page-break-before:left;mso-break-type:section-break'>\r\n\r\n";
  } else {
    out_ += "<br clear=all style='page-break-before:always;mso-break-type:section-break'>\r\n\r\n";
  }
}

void BodyWriter::BlockLineStart(int depth) {
  out_.append(static_cast<size_t>(depth) * 2, ' ');
}

void BodyWriter::BlockLineEnd(int depth) {
  out_ += depth == 0 ? "\r\n\r\n" : "\r\n";
}

void BodyWriter::WriteParagraph(pugi::xml_node p, int depth) {
  pugi::xml_node ppr = p.child("w:pPr");
  // Accepted view of tracked changes: a paragraph whose mark and text were
  // all deleted is gone.
  if (IsDeletedMark(ppr) && !HasAcceptedContent(p)) return;

  const ParagraphProperties direct = ParseParagraphProperties(ppr);
  const std::string_view style_id = direct.style_id && doc_.styles.Find(*direct.style_id) != nullptr
                                        ? std::string_view(*direct.style_id)
                                        : std::string_view(default_paragraph_style_);
  const StyleInfo& style = ParagraphStyle(style_id);
  const RunProperties mark = ParseRunProperties(ppr.child("w:rPr"));

  Paragraph para;
  para.depth = depth;
  para.style_id = style.id;
  para.table_style_id = current_table_style_;
  para.pending_bookmarks.reserve(block_bookmarks_.size());
  for (std::string& name : block_bookmarks_)
    para.pending_bookmarks.emplace_back(std::move(name), "");
  block_bookmarks_.clear();
  Paragraph* saved = para_;
  para_ = &para;

  // Numbering: the paragraph's own w:numPr, else its style's.
  std::string list_css;
  bool list_from_style = false;
  const ListLevel* list_level = nullptr;
  const std::optional<int> num_id = direct.num_id ? direct.num_id : style.num_id;
  if (num_id && *num_id != 0) {
    list_from_style = !direct.num_id;
    int ilvl = 0;
    if (direct.num_level) {
      ilvl = *direct.num_level;
    } else if (style.num_level) {
      ilvl = *style.num_level;
    } else if (auto level = doc_.numbering.LevelForStyle(*num_id, style.id)) {
      ilvl = *level;
    }
    if (std::optional<ListLabel> label = counter_->Next(*num_id, ilvl)) {
      list_css = "mso-list:l" + std::to_string(label->list_index) + " level" +
                 std::to_string(label->level) + " lfo" + std::to_string(label->lfo);
      list_level = label->definition;
      const ParagraphProperties resolved = doc_.styles.ResolveParagraphProperties(style.id, direct);
      para.label_html = ListLabelHtml(*label, resolved, mark);
    }
  }

  // The start tag. Headings 7-9 must stay exactly <p class=MsoHeadingN> for
  // the section splitter, so a list they inherit from their style is left
  // to the style sheet.
  const bool heading_element = style.heading_level >= 1 && style.heading_level <= 6;
  const bool heading_paragraph = style.heading_level >= 7;
  // Browsers ignore the level's indent in the @list rules, so a list
  // paragraph carries it itself, as Word writes it.
  const bool list_inline = !(heading_paragraph && list_from_style);
  ParagraphProperties own = direct;
  if (list_level != nullptr && list_inline) ApplyListIndent(own, *list_level, true);
  std::string class_name = style.class_name;
  if ((style.contextual_spacing || direct.contextual_spacing.value_or(false)) && !heading_element &&
      !heading_paragraph) {
    const bool joined_before = SiblingStyle(p, false, default_paragraph_style_) == style.id;
    const bool joined_after = SiblingStyle(p, true, default_paragraph_style_) == style.id;
    if (style.contextual_spacing) {
      // The sheet declares the three variants of a style with contextual
      // spacing.
      if (joined_before && joined_after) class_name += "CxSpMiddle";
      if (!joined_before && joined_after) class_name += "CxSpFirst";
      if (joined_before && !joined_after) class_name += "CxSpLast";
    } else {
      // Contextual spacing given on the paragraph alone: the class keeps
      // its rule and the spacing between neighbours collapses inline.
      if (joined_before && !own.spacing_before) own.spacing_before = 0;
      if (joined_after && !own.spacing_after) own.spacing_after = 0;
    }
  }
  std::string css;
  AppendParagraphCss(css, own, CssMode::kDirect, style.font_size_pt,
                     list_inline ? list_css : std::string_view());
  // A paragraph made body text under a style with an outline level says so,
  // or the style's level would make it a heading of the site.
  if (style.outline_level && direct.outline_level && *direct.outline_level >= 9 &&
      !heading_element) {
    css += "mso-outline-level:10;";
  }
  std::string tag;
  if (heading_element) {
    tag = "h" + std::to_string(style.heading_level);
    para.open_tag = "<" + tag;
  } else {
    tag = "p";
    para.open_tag = "<p class=" + class_name;
  }
  if (direct.justification) {
    const std::string& jc = *direct.justification;
    if (jc == "center" || jc == "right" || jc == "left") para.open_tag += " align=" + jc;
  }
  AppendStyleAttribute(para.open_tag, css);
  para.open_tag += '>';
  para.close_tag = "</" + tag + ">";

  WriteInline(p);

  std::string mark_open, mark_close;
  RunWrapper(mark, false, mark_open, mark_close);
  CloseParagraph(mark_open, mark_close);
  para_ = saved;
}

void BodyWriter::OpenParagraph() {
  Paragraph& para = *para_;
  BlockLineStart(para.depth);
  out_ += para.open_tag;
  para.opened = true;
  para.at_line_start = true;
  std::vector<std::pair<std::string, std::string>> bookmarks;
  bookmarks.swap(para.pending_bookmarks);
  // Anchors cannot nest: only the last wrapping bookmark wraps the text,
  // the others stay empty in front of it, as in Word's headings.
  size_t wrapping = bookmarks.size();
  for (size_t i = 0; i < bookmarks.size(); ++i) {
    if (!bookmarks[i].second.empty()) wrapping = i;
  }
  for (size_t i = 0; i < bookmarks.size(); ++i) {
    const auto& [name, id] = bookmarks[i];
    std::string anchor = "<a name=\"";
    AppendAttributeText(anchor, name);
    anchor += "\">";
    if (i != wrapping) {
      out_ += anchor;
      out_ += "</a>";
    } else {
      PushInline(anchor, InlineElement{"</a>", id, -1});
    }
  }
  if (!para.label_written && !para.label_html.empty()) {
    out_ += para.label_html;
    para.label_written = true;
  }
}

void BodyWriter::CloseParagraph(std::string_view mark_open, std::string_view mark_close) {
  Paragraph& para = *para_;
  if (!para.opened) OpenParagraph();
  const std::string_view mark_point = para.has_content ? "<o:p></o:p>" : "<o:p>&nbsp;</o:p>";
  // The paragraph mark shares the last run's tags when they match.
  if (!(para.inline_stack.empty() && !para.comment_open && !para.run_open.empty() &&
        para.run_open == mark_open)) {
    CloseAllInline();
    SyncComment(false);
    UseWrapper(mark_open, mark_close);
  }
  out_ += mark_point;
  CloseWrapper();
  out_ += para.close_tag;
  BlockLineEnd(para.depth);
  para.opened = false;
}

void BodyWriter::PrepareContent() {
  if (!para_->opened) OpenParagraph();
  SyncComment(InFieldCode());
}

void BodyWriter::SyncComment(bool code) {
  if (para_->comment_open == code) return;
  CloseWrapper();
  out_ += code ? "<!--[if supportFields]>" : "<![endif]-->";
  para_->comment_open = code;
}

void BodyWriter::UseWrapper(std::string_view open, std::string_view close) {
  if (para_->run_open == open) return;
  CloseWrapper();
  out_ += open;
  para_->run_open.assign(open);
  para_->run_close.assign(close);
}

void BodyWriter::CloseWrapper() {
  if (para_->run_open.empty()) return;
  out_ += para_->run_close;
  para_->run_open.clear();
  para_->run_close.clear();
}

void BodyWriter::PushInline(const std::string& open, InlineElement element) {
  CloseWrapper();
  out_ += open;
  element.in_comment = para_->comment_open;
  para_->inline_stack.push_back(std::move(element));
}

void BodyWriter::PopInline() {
  CloseWrapper();
  InlineElement& top = para_->inline_stack.back();
  // The end tag goes on the same side of a field-code comment as its start.
  SyncComment(top.in_comment);
  out_ += top.close;
  if (top.field >= 0 && static_cast<size_t>(top.field) < fields_.size()) {
    fields_[top.field].anchor_open = false;
  }
  para_->inline_stack.pop_back();
}

void BodyWriter::CloseAllInline() {
  CloseWrapper();
  while (!para_->inline_stack.empty()) PopInline();
}

bool BodyWriter::InFieldCode() const {
  for (const Field& field : fields_) {
    if (!field.in_result) return true;
  }
  return false;
}

bool BodyWriter::HideFieldResult() const {
  for (const Field& field : fields_) {
    if (field.hide_result && field.in_result) return true;
  }
  return false;
}

bool BodyWriter::InHyperlink() const {
  if (para_ == nullptr) return false;
  for (const InlineElement& element : para_->inline_stack) {
    if (element.close == "</a>" && element.bookmark_id.empty()) return true;
  }
  return false;
}

const BodyWriter::LinkLook& BodyWriter::HyperlinkLook() {
  if (!link_look_) {
    LinkLook look;
    if (const Style* style = doc_.styles.FindByName("Hyperlink")) {
      const RunProperties run = doc_.styles.EffectiveRun(style->style_id);
      if (run.color) look.color = *run.color;
      if (run.underline) look.underline = *run.underline != "none";
    }
    for (char& c : look.color) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    link_look_ = look;
  }
  return *link_look_;
}

// --- Inline content ----------------------------------------------------------

void BodyWriter::WriteInline(pugi::xml_node parent) {
  if (!EnterNested()) return;
  for (pugi::xml_node child : parent.children()) {
    const char* name = child.name();
    if (std::strncmp(name, "w:", 2) == 0) {
      const char* local = name + 2;
      if (std::strcmp(local, "r") == 0) {
        WriteRun(child);
      } else if (std::strcmp(local, "hyperlink") == 0) {
        WriteHyperlink(child);
      } else if (std::strcmp(local, "bookmarkStart") == 0) {
        WriteBookmarkStart(child);
      } else if (std::strcmp(local, "bookmarkEnd") == 0) {
        WriteBookmarkEnd(child);
      } else if (std::strcmp(local, "fldSimple") == 0) {
        WriteSimpleField(child);
      } else if (std::strcmp(local, "ins") == 0 || std::strcmp(local, "moveTo") == 0 ||
                 std::strcmp(local, "smartTag") == 0 || std::strcmp(local, "customXml") == 0 ||
                 std::strcmp(local, "dir") == 0 || std::strcmp(local, "bdo") == 0) {
        WriteInline(child);
      } else if (std::strcmp(local, "sdt") == 0) {
        WriteInline(SdtContent(child));
      }
      // w:del and w:moveFrom (rejected in the accepted view), comments,
      // proofing marks and permissions write nothing.
    } else if (Is(child, "mc:AlternateContent")) {
      WriteInline(AlternateBranch(child));
    } else if (Is(child, "m:oMath") || Is(child, "m:oMathPara")) {
      PrepareContent();
      CloseWrapper();
      if (!AppendEquationHtml(child, out_)) {
        doc_.Diagnose("An equation nested too deep was cut short.");
      }
      para_->at_line_start = false;
      para_->has_content = true;
    }
  }
  --nesting_;
}

void BodyWriter::RunWrapper(const RunProperties& direct, bool east_asian_text, std::string& open,
                            std::string& close) {
  open.clear();
  close.clear();
  const std::string_view char_style =
      direct.style_id ? std::string_view(*direct.style_id) : std::string_view();
  if (!char_style.empty()) {
    const std::string& class_name = CharacterClass(char_style);
    if (!class_name.empty()) {
      open += "<span class=" + class_name + ">";
      close.insert(0, "</span>");
    }
  }
  auto tag = [&](std::string_view start, std::string_view end) {
    open += start;
    close.insert(0, end);
  };
  if (direct.bold.value_or(false)) {
    tag(direct.bold_cs.value_or(false) ? "<b>" : "<b style='mso-bidi-font-weight:normal'>", "</b>");
  }
  if (direct.italic.value_or(false)) {
    tag(direct.italic_cs.value_or(false) ? "<i>" : "<i style='mso-bidi-font-style:normal'>",
        "</i>");
  }
  if (direct.underline && *direct.underline != "none") {
    const std::string& u = *direct.underline;
    if (u == "single" || u == "words") {
      tag("<u>", "</u>");
    } else {
      std::string start = "<u style='text-underline:";
      for (char c : u) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) start += c;
      }
      tag(start + "'>", "</u>");
    }
  }
  if (direct.strike.value_or(false) || direct.dstrike.value_or(false)) tag("<s>", "</s>");
  if (direct.vert_align == "superscript") tag("<sup>", "</sup>");
  if (direct.vert_align == "subscript") tag("<sub>", "</sub>");

  std::string& css = scratch_css_;
  css.clear();
  AppendRunCss(css, direct, doc_.fonts, doc_.languages, CssMode::kDirect, east_asian_text);
  if (InHyperlink()) {
    // Text in a link shows the link's look in a browser; where its own
    // colour or underline differs, Word writes it out.
    const RunProperties seen =
        doc_.styles.ResolveRunProperties(para_->style_id, direct, para_->table_style_id);
    const LinkLook& link = HyperlinkLook();
    if (!direct.color) {
      std::string color = seen.color.value_or("auto");
      for (char& c : color) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (color == "AUTO" && link.color != "AUTO") {
        css += "color:windowtext;";
      } else if (color != link.color) {
        css += "color:";
        AppendCssColor(css, color, "windowtext");
        css += ';';
      }
    }
    if (!direct.underline && link.underline && (!seen.underline || *seen.underline == "none")) {
      css += "text-decoration:none;text-underline:none;";
    }
  }
  if (HideFieldResult()) css += "display:none;mso-hide:screen;";
  const InheritedRun& inherited = Inherited(
      para_ != nullptr ? std::string_view(para_->style_id) : std::string_view(), char_style,
      para_ != nullptr ? std::string_view(para_->table_style_id) : std::string_view());
  std::string lang;
  if (east_asian_text) {
    lang = direct.lang_east_asia ? HtmlLanguage(*direct.lang_east_asia) : inherited.east_asia;
  } else {
    lang = direct.lang ? HtmlLanguage(*direct.lang) : inherited.latin;
  }
  const bool write_lang = !lang.empty() && lang != doc_.body_language;
  if (write_lang || !css.empty()) {
    open += "<span";
    if (write_lang) {
      open += " lang=";
      open += lang;
    }
    AppendStyleAttribute(open, css);
    open += '>';
    close.insert(0, "</span>");
  }
}

void BodyWriter::WriteRun(pugi::xml_node r) {
  const RunProperties direct = ParseRunProperties(r.child("w:rPr"));
  bool east_asian = false;
  for (pugi::xml_node t : r.children("w:t")) {
    if (ContainsEastAsian(t.text().get())) {
      east_asian = true;
      break;
    }
  }
  std::string open, close;
  RunWrapper(direct, east_asian, open, close);
  for (pugi::xml_node child = r.first_child(); child; child = child.next_sibling()) {
    const char* name = child.name();
    if (std::strncmp(name, "w:", 2) != 0) {
      if (Is(child, "mc:AlternateContent")) WriteRunObject(child, open, close);
      continue;
    }
    const char* local = name + 2;
    if (std::strcmp(local, "t") == 0) {
      const std::string_view text = child.text().get();
      if (text.empty() || HoldPageNumberText(text, open, close)) continue;
      PrepareContent();
      UseWrapper(open, close);
      WriteText(text, !InFieldCode());
    } else if (std::strcmp(local, "instrText") == 0) {
      if (fields_.empty() || fields_.back().in_result) continue;
      const std::string_view text = child.text().get();
      fields_.back().instruction += text;
      PrepareContent();
      UseWrapper(open, close);
      WriteText(text, false);
    } else if (std::strcmp(local, "tab") == 0 || std::strcmp(local, "ptab") == 0) {
      int count = 1;
      while (child.next_sibling() && (Is(child.next_sibling(), "w:tab"))) {
        child = child.next_sibling();
        ++count;
      }
      PrepareContent();
      UseWrapper(open, close);
      WriteTabs(count);
    } else if (std::strcmp(local, "br") == 0) {
      WriteBreak(child, open, close);
    } else if (std::strcmp(local, "cr") == 0) {
      PrepareContent();
      UseWrapper(open, close);
      out_ += "<br>";
      para_->at_line_start = true;
      para_->has_content = true;
    } else if (std::strcmp(local, "fldChar") == 0) {
      WriteFieldChar(child, open, close);
    } else if (std::strcmp(local, "footnoteReference") == 0 ||
               std::strcmp(local, "endnoteReference") == 0) {
      child = WriteNoteReference(child, open, close);
    } else if (std::strcmp(local, "footnoteRef") == 0 || std::strcmp(local, "endnoteRef") == 0) {
      WriteNoteMark(child, open, close);
    } else if (std::strcmp(local, "sym") == 0) {
      PrepareContent();
      UseWrapper(open, close);
      WriteSymbol(child);
    } else if (std::strcmp(local, "noBreakHyphen") == 0) {
      PrepareContent();
      UseWrapper(open, close);
      WriteText("-", true);
    } else if (std::strcmp(local, "drawing") == 0 || std::strcmp(local, "pict") == 0 ||
               std::strcmp(local, "object") == 0) {
      WriteRunObject(child, open, close);
    }
  }
}

void BodyWriter::WriteText(std::string_view text, bool is_content) {
  if (!invalid_text_reported_ && !support::IsValidUtf8(text)) {
    // The page's encoder turns such bytes into U+FFFD; the user should know.
    doc_.Diagnose("Text that is not valid UTF-8 was found; its bad bytes were replaced by U+FFFD.");
    invalid_text_reported_ = true;
  }
  Paragraph& para = *para_;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ' ') {
      size_t end = pos;
      while (end < text.size() && text[end] == ' ') ++end;
      const size_t count = end - pos;
      if (count >= 2 || para.at_line_start) {
        // Browsers collapse spaces; Word keeps them with a space run.
        out_ += "<span style='mso-spacerun:yes'>";
        for (size_t i = 1; i < count; ++i) out_ += "&nbsp;";
        out_ += count == 1 ? "&nbsp;" : " ";
        out_ += "</span>";
      } else {
        out_ += ' ';
      }
      pos = end;
    } else {
      size_t end = text.find(' ', pos);
      if (end == std::string_view::npos) end = text.size();
      AppendEscapedText(out_, text.substr(pos, end - pos));
      pos = end;
    }
    para.at_line_start = false;
  }
  if (is_content) para.has_content = true;
}

void BodyWriter::WriteTabs(int count) {
  out_ += "<span style='mso-tab-count:";
  out_ += std::to_string(count);
  out_ += "'>";
  for (int i = 0; i < count; ++i) out_ += "&nbsp;&nbsp;&nbsp; ";
  out_ += "</span>";
  para_->at_line_start = false;
  if (!InFieldCode()) para_->has_content = true;
}

void BodyWriter::WriteBreak(pugi::xml_node br, std::string_view open, std::string_view close) {
  const std::string_view type = br.attribute("w:type").value();
  Paragraph& para = *para_;
  if (type == "page") {
    // Between paragraphs, as Word writes it: the text before the break ends
    // its paragraph, the break stands alone, the rest starts a new one. Not
    // possible inside a table, a link or a field code.
    if (para.depth == 0 && para.inline_stack.empty() && !InFieldCode() && !para.comment_open) {
      if (para.opened) {
        if (!para.run_open.empty()) out_ += "<o:p></o:p>";
        CloseWrapper();
        out_ += para.close_tag;
        BlockLineEnd(0);
        para.opened = false;
        para.has_content = false;
      }
      out_ += open;
      out_ += "<br clear=all style='page-break-before:always'>\r\n";
      out_ += close;
      BlockLineEnd(0);
      return;
    }
    PrepareContent();
    UseWrapper(open, close);
    out_ += "<br clear=all style='page-break-before:always'>";
  } else if (type == "column") {
    PrepareContent();
    UseWrapper(open, close);
    out_ += "<br clear=all style='mso-column-break-before:always'>";
  } else {
    PrepareContent();
    UseWrapper(open, close);
    out_ += std::string_view(br.attribute("w:clear").value()) == "all" ? "<br clear=all>" : "<br>";
  }
  para.at_line_start = true;
  para.has_content = true;
}

void BodyWriter::WriteSymbol(pugi::xml_node sym) {
  const std::string font = sym.attribute("w:font").value();
  const unsigned code =
      static_cast<unsigned>(std::strtoul(sym.attribute("w:char").value(), nullptr, 16));
  if (code == 0) return;
  std::string css;
  if (!font.empty()) {
    css += "font-family:";
    AppendCssFontName(css, font);
    css += ";mso-ascii-font-family:";
    AppendCssFontName(css, font);
    css += ";mso-hansi-font-family:";
    AppendCssFontName(css, font);
    css += ";mso-char-type:symbol;mso-symbol-font-family:";
    AppendCssFontName(css, font);
  }
  std::string inner;
  if (!font.empty()) {
    inner = "mso-char-type:symbol;mso-symbol-font-family:";
    AppendCssFontName(inner, font);
  }
  out_ += "<span";
  AppendStyleAttribute(out_, css);
  out_ += "><span";
  AppendStyleAttribute(out_, inner);
  out_ += '>';
  std::string character;
  AppendUtf8(character, SymbolCharacter(code));
  AppendEscapedText(out_, character);
  out_ += "</span></span>";
  para_->at_line_start = false;
  para_->has_content = true;
}

void BodyWriter::WriteHyperlink(pugi::xml_node link) {
  const std::string href = Href(link);
  if (href.empty()) {
    WriteInline(link);
    return;
  }
  PrepareContent();
  std::string open = "<a href=\"";
  AppendAttributeText(open, href);
  open += '"';
  if (const char* frame = link.attribute("w:tgtFrame").value(); *frame != '\0') {
    open += " target=\"";
    AppendAttributeText(open, frame);
    open += '"';
  }
  if (const char* tooltip = link.attribute("w:tooltip").value(); *tooltip != '\0') {
    open += " title=\"";
    AppendAttributeText(open, tooltip);
    open += '"';
  }
  open += '>';
  PushInline(open, InlineElement{"</a>", {}, -1});
  const size_t level = para_->inline_stack.size();
  WriteInline(link);
  while (para_->opened && para_->inline_stack.size() >= level) PopInline();
}

std::string BodyWriter::Href(pugi::xml_node link) const {
  std::string href;
  if (const char* id = link.attribute("r:id").value(); *id != '\0') {
    const Relationship* rel = story_part_.empty() ? doc_.package->MainRelationship(id)
                                                  : doc_.package->FindRelationship(story_part_, id);
    if (rel != nullptr) href = rel->target;
  }
  if (const char* anchor = link.attribute("w:anchor").value(); *anchor != '\0') {
    href += '#';
    href += anchor;
  }
  return href;
}

void BodyWriter::WriteSimpleField(pugi::xml_node field) {
  const std::string instruction = field.attribute("w:instr").value();
  PrepareContent();
  std::string open = FieldCodeSpan(instruction);
  const size_t level = para_->inline_stack.size() + 1;
  PushInline(open, InlineElement{"</span>", {}, -1});
  if (UpperWord(instruction, nullptr) == "HYPERLINK") {
    const std::string target = HyperlinkFieldTarget(instruction);
    if (!target.empty()) {
      std::string anchor = "<a href=\"";
      AppendAttributeText(anchor, target);
      anchor += "\">";
      PushInline(anchor, InlineElement{"</a>", {}, -1});
    }
  }
  if (IsPageNumberKind(UpperWord(instruction, nullptr)) && !InFieldCode()) {
    // Word's form: <span style='mso-field-code:" PAGE "'><span
    // style='mso-no-proof:yes'>1</span></span>, the result in the first
    // result run's formatting.
    std::string cached, run_open, run_close;
    bool wrapper_set = false;
    for (pugi::xml_node r : field.children("w:r")) {
      for (pugi::xml_node t : r.children("w:t")) {
        const std::string_view text = t.text().get();
        if (text.empty()) continue;
        if (!wrapper_set) {
          RunWrapper(ParseRunProperties(r.child("w:rPr")), ContainsEastAsian(text), run_open,
                     run_close);
          wrapper_set = true;
        }
        cached += text;
      }
    }
    WritePageNumber(cached, run_open, run_close, {});
  } else {
    WriteInline(field);
  }
  while (para_->opened && para_->inline_stack.size() >= level) PopInline();
}

void BodyWriter::WriteFieldChar(pugi::xml_node fld_char, std::string_view open,
                                std::string_view close) {
  const std::string_view type = fld_char.attribute("w:fldCharType").value();
  if (type == "begin") {
    fields_.emplace_back();
    PrepareContent();
    UseWrapper(open, close);
    out_ += "<span style='mso-element:field-begin'></span>";
  } else if (type == "separate") {
    if (fields_.empty() || fields_.back().in_result) return;
    PrepareContent();
    UseWrapper(open, close);
    out_ += "<span style='mso-element:field-separator'></span>";
    Field& field = fields_.back();
    field.in_result = true;
    const std::string kind = UpperWord(field.instruction, nullptr);
    if (kind == "PAGEREF") {
      // TOC \z hides page numbers in web view; Word marks them mso-hide:screen.
      for (size_t i = 0; i + 1 < fields_.size(); ++i) {
        const std::string& outer = fields_[i].instruction;
        if (UpperWord(outer, nullptr) == "TOC" && outer.find("\\z") != std::string::npos) {
          field.hide_result = true;
        }
      }
    }
    // Only a result that shows (no field code still open around it).
    field.page_number = IsPageNumberKind(kind) && !InFieldCode();
    SyncComment(InFieldCode());
    if (kind == "HYPERLINK" && !InFieldCode()) {
      const std::string target = HyperlinkFieldTarget(field.instruction);
      if (!target.empty()) {
        std::string anchor = "<a href=\"";
        AppendAttributeText(anchor, target);
        anchor += "\">";
        field.anchor_open = true;
        PushInline(anchor, InlineElement{"</a>", {}, static_cast<int>(fields_.size() - 1)});
      }
    }
  } else if (type == "end") {
    if (fields_.empty()) return;
    FinishPageNumberField(open, close);
    const int index = static_cast<int>(fields_.size() - 1);
    if (fields_.back().anchor_open && para_->opened && !para_->inline_stack.empty() &&
        para_->inline_stack.back().field == index) {
      PopInline();
    }
    fields_.back().in_result = false;  // the end marker belongs to the code half
    PrepareContent();
    UseWrapper(open, close);
    out_ += "<span style='mso-element:field-end'></span>";
    // An anchor still open deeper in the stack can no longer be closed in
    // order; forget its field so a later PopInline does not touch it.
    for (InlineElement& element : para_->inline_stack) {
      if (element.field == index) element.field = -1;
    }
    fields_.pop_back();
    SyncComment(InFieldCode());
  }
}

bool BodyWriter::HoldPageNumberText(std::string_view text, std::string_view open,
                                    std::string_view close) {
  if (fields_.empty()) return false;
  Field& field = fields_.back();
  if (!field.page_number || !field.in_result) return false;
  if (!field.result_wrapper_set) {
    field.result_open.assign(open);
    field.result_close.assign(close);
    field.result_wrapper_set = true;
  }
  field.cached_result += text;
  return true;
}

void BodyWriter::FinishPageNumberField(std::string_view open, std::string_view close) {
  Field& field = fields_.back();
  if (!field.in_result) {
    // A field Word never updated has no separator and no result
    // (cn-lingfangzeng-gb2312/index.files/header.htm); the page-footer stage
    // has nothing to number then, so it gets both, in the end's formatting.
    if (!IsPageNumberKind(UpperWord(field.instruction, nullptr))) return;
    for (size_t i = 0; i + 1 < fields_.size(); ++i) {
      if (!fields_[i].in_result) return;  // inside another field's code
    }
    PrepareContent();
    UseWrapper(open, close);
    out_ += "<span style='mso-element:field-separator'></span>";
    field.in_result = true;
    field.page_number = true;
  } else if (!field.page_number) {
    return;
  }
  if (field.result_wrapper_set) {
    WritePageNumber(field.cached_result, field.result_open, field.result_close, field.instruction);
  } else {
    WritePageNumber(field.cached_result, open, close, field.instruction);
  }
}

void BodyWriter::WritePageNumber(std::string_view cached, std::string_view open,
                                 std::string_view close, std::string_view complex_instruction) {
  // The page-footer stage renumbers "…mso-no-proof…>digits</span>": the
  // digits must stand alone, directly inside a tag that carries the
  // declaration. A run marked w:noProof carries it in its innermost span;
  // Word adds a span of its own otherwise.
  while (!cached.empty() && cached.front() == ' ') cached.remove_prefix(1);
  while (!cached.empty() && cached.back() == ' ') cached.remove_suffix(1);
  // Without a result, the value Word computes first.
  const std::string_view number = cached.empty() ? std::string_view("1") : cached;
  PrepareContent();
  CloseWrapper();
  // That stage drops the code half of a complex field before it numbers, and
  // then knows a result only by a page-number style before it or by a simple
  // field's code: a PAGE result in plain text would keep its number on every
  // page, and a NUMPAGES one would count pages in the page-number style. The
  // result therefore also carries its code as a simple field would. Not a
  // result in letters or roman numerals, which the stage cannot renumber:
  // its search would run on from the code to the next number it meets.
  const bool code_span =
      !complex_instruction.empty() && number.find_first_not_of("0123456789") == std::string::npos;
  if (code_span) out_ += FieldCodeSpan(complex_instruction);
  UseWrapper(open, close);
  const size_t last_tag = open.rfind('<');
  const bool marked = last_tag != std::string_view::npos &&
                      open.find("mso-no-proof", last_tag) != std::string_view::npos;
  if (!marked) out_ += "<span style='mso-no-proof:yes'>";
  AppendEscapedText(out_, number);
  if (!marked) out_ += "</span>";
  CloseWrapper();
  if (code_span) out_ += "</span>";
  para_->at_line_start = false;
  para_->has_content = true;
}

void BodyWriter::WriteStory(pugi::xml_node story, const std::string& part_name) {
  // A story is written apart from the body: nothing of the body's fields,
  // bookmarks, lists, tables or sections reaches into it.
  std::vector<Field> saved_fields;
  saved_fields.swap(fields_);
  const std::string saved_story = std::exchange(story_part_, part_name);
  const std::string saved_table_style = std::exchange(current_table_style_, std::string());
  const size_t saved_section = std::exchange(section_index_, doc_.sections.size());
  ListCounter story_counter(doc_.numbering);
  ListCounter* saved_counter = std::exchange(counter_, &story_counter);
  Paragraph* saved_paragraph = std::exchange(para_, nullptr);
  block_bookmarks_.clear();
  WriteBlocks(story, 0);
  block_bookmarks_.clear();
  para_ = saved_paragraph;
  counter_ = saved_counter;
  section_index_ = saved_section;
  current_table_style_ = saved_table_style;
  story_part_ = saved_story;
  fields_.swap(saved_fields);
}

void BodyWriter::WriteBookmarkStart(pugi::xml_node start) {
  const std::string name = start.attribute("w:name").value();
  if (name.empty()) return;
  const std::string id = start.attribute("w:id").value();
  // The anchor wraps the bookmarked text when the end follows among the
  // same siblings with only plain runs in between; otherwise it is empty.
  bool wraps = false;
  for (pugi::xml_node next = start.next_sibling(); next; next = next.next_sibling()) {
    if (Is(next, "w:bookmarkEnd") && id == next.attribute("w:id").value()) {
      wraps = true;
      break;
    }
    if (!CanStandInAnchor(next)) break;
  }
  if (!para_->opened) {
    para_->pending_bookmarks.emplace_back(name, wraps ? id : std::string());
    return;
  }
  std::string anchor = "<a name=\"";
  AppendAttributeText(anchor, name);
  anchor += "\">";
  bool anchor_open = false;
  for (const InlineElement& element : para_->inline_stack) {
    anchor_open = anchor_open || !element.bookmark_id.empty() || element.close == "</a>";
  }
  // An anchor inside a field code would vanish with the code; it goes
  // between the code blocks instead.
  SyncComment(false);
  if (wraps && !anchor_open) {
    PushInline(anchor, InlineElement{"</a>", id, -1});
  } else {
    out_ += anchor;
    out_ += "</a>";
  }
}

void BodyWriter::WriteBookmarkEnd(pugi::xml_node end) {
  const std::string_view id = end.attribute("w:id").value();
  if (!para_->opened) {
    for (auto& pending : para_->pending_bookmarks) {
      if (pending.second == id) pending.second.clear();
    }
    return;
  }
  if (!para_->inline_stack.empty() && para_->inline_stack.back().bookmark_id == id) PopInline();
}

std::string BodyWriter::ListLabelHtml(const ListLabel& label, const ParagraphProperties& resolved,
                                      const RunProperties& mark) {
  RunProperties run = mark;
  if (label.definition != nullptr && label.definition->run_properties) {
    run = Merge(run, ParseRunProperties(label.definition->run_properties));
  }
  if (!label.symbol_font.empty()) {
    run.fonts = FontSlots{};
    run.fonts.ascii = run.fonts.h_ansi = run.fonts.east_asia = run.fonts.cs = label.symbol_font;
  }
  std::string open, close;
  RunWrapper(run, ContainsEastAsian(label.text), open, close);
  std::string html = "<![if !supportLists]>";
  html += open;
  html += "<span style='mso-list:Ignore'>";
  AppendEscapedText(html, label.text);
  if (label.suffix == LevelSuffix::kTab) {
    // Word fills the gap up to the tab stop with non-breaking spaces in a
    // tiny font; the count only approximates the width.
    const ListLevel* level = label.definition;
    const double hanging =
        (level && level->indent_hanging_twips ? *level->indent_hanging_twips
                                              : resolved.indent_hanging.value_or(0)) /
        20.0;
    const double font_size =
        run.size ? *run.size / 2.0 : ParagraphStyle(para_->style_id).font_size_pt;
    double label_width = 0;
    size_t pos = 0;
    while (pos < label.text.size()) {
      label_width += IsEastAsian(NextCodePoint(label.text, pos)) ? font_size : font_size / 2.0;
    }
    const double room = hanging > 0 ? hanging : doc_.package->settings().default_tab_stop / 20.0;
    const int count = std::clamp(static_cast<int>(std::lround((room - label_width) / 3.5)), 0, 12);
    html += "<span style='font:7.0pt \"Times New Roman\"'>";
    for (int i = 0; i < count; ++i) html += "&nbsp;";
    html += " </span>";
  } else if (label.suffix == LevelSuffix::kSpace) {
    html += "<span style='font:7.0pt \"Times New Roman\"'>&nbsp;</span>";
  }
  html += "</span>";
  html += close;
  html += "<![endif]>";
  return html;
}

// --- Caches ------------------------------------------------------------------

const BodyWriter::StyleInfo& BodyWriter::ParagraphStyle(std::string_view style_id) {
  if (auto it = styles_.find(style_id); it != styles_.end()) return it->second;
  StyleInfo info;
  info.id = std::string(style_id);
  if (const Style* style = doc_.styles.Find(style_id)) {
    info.class_name = doc_.styles.ClassName(style_id);
    info.heading_level = HeadingLevel(*style);
  }
  if (info.class_name.empty()) info.class_name = "MsoNormal";
  const ParagraphProperties paragraph = doc_.styles.ResolveParagraphProperties(style_id, {});
  info.contextual_spacing = paragraph.contextual_spacing.value_or(false);
  info.outline_level =
      paragraph.outline_level && *paragraph.outline_level >= 0 && *paragraph.outline_level < 9;
  info.num_id = paragraph.num_id;
  info.num_level = paragraph.num_level;
  const RunProperties run = doc_.styles.ResolveRunProperties(style_id, {});
  info.font_size_pt = run.size.value_or(20) / 2.0;
  return styles_.emplace(std::string(style_id), std::move(info)).first->second;
}

const BodyWriter::InheritedRun& BodyWriter::Inherited(std::string_view paragraph_style,
                                                      std::string_view char_style,
                                                      std::string_view table_style) {
  std::string key;
  key.reserve(paragraph_style.size() + char_style.size() + table_style.size() + 2);
  key += paragraph_style;
  key += '\x1f';
  key += char_style;
  key += '\x1f';
  key += table_style;
  if (auto it = inherited_.find(key); it != inherited_.end()) return it->second;
  RunProperties request;
  if (!char_style.empty()) request.style_id = std::string(char_style);
  const RunProperties run = doc_.styles.ResolveRunProperties(paragraph_style, request, table_style);
  InheritedRun inherited;
  inherited.latin = run.lang ? HtmlLanguage(*run.lang) : doc_.languages.latin;
  inherited.east_asia =
      run.lang_east_asia ? HtmlLanguage(*run.lang_east_asia) : doc_.languages.east_asia;
  return inherited_.emplace(std::move(key), std::move(inherited)).first->second;
}

const std::string& BodyWriter::CharacterClass(std::string_view style_id) {
  if (auto it = char_classes_.find(style_id); it != char_classes_.end()) return it->second;
  std::string class_name;
  const Style* style = doc_.styles.Find(style_id);
  if (style != nullptr && style->type == StyleType::kCharacter && !style->is_default) {
    class_name = doc_.styles.ClassName(style_id);
  }
  return char_classes_.emplace(std::string(style_id), std::move(class_name)).first->second;
}

}  // namespace tessarine::convert
