// Prints the list label of every body paragraph of an unpacked .docx, for
// comparing the numbering unit with another word processor's text export
// (see numbering_vs_libreoffice.py, which builds and runs this).
//
//   numbering_labels DOCUMENT.xml NUMBERING.xml STYLES.xml
//
// One line per paragraph of the main story, in document order:
//   LABEL <TAB> KIND <TAB> FIRST-LINE-OF-TEXT
// KIND is "number", "bullet" or "-" (no numbering); LABEL is the label's
// display text. Text boxes are other stories and are left out.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "convert/numbering.h"
#include "story_text.h"

namespace {

using tessarine::tools::AppendStoryText;
using tessarine::tools::IsOtherStory;

using tessarine::convert::ListCounter;
using tessarine::convert::ListLabel;
using tessarine::convert::Numbering;

bool Load(pugi::xml_document& document, const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string text = bytes.str();
  return static_cast<bool>(
      document.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata));
}

std::optional<int> IntVal(pugi::xml_node node) {
  const pugi::xml_attribute attr = node.attribute("w:val");
  if (!attr) return std::nullopt;
  return attr.as_int();
}

class Walker {
 public:
  Walker(const Numbering& numbering, pugi::xml_node styles)
      : numbering_(numbering), counter_(numbering), styles_(styles) {
    for (pugi::xml_node style : styles_.children("w:style")) {
      if (std::string_view(style.attribute("w:type").as_string()) == "paragraph" &&
          style.attribute("w:default").as_bool()) {
        default_style_ = style.attribute("w:styleId").as_string();
      }
    }
  }

  void Walk(pugi::xml_node node) {
    for (pugi::xml_node child : node.children()) {
      if (IsOtherStory(child)) continue;
      if (std::string_view(child.name()) == "w:p") {
        Paragraph(child);
      } else {
        Walk(child);
      }
    }
  }

 private:
  pugi::xml_node Style(std::string_view id) const {
    for (pugi::xml_node style : styles_.children("w:style")) {
      if (id == style.attribute("w:styleId").as_string()) return style;
    }
    return {};
  }

  // numPr on the paragraph, else along the style's basedOn chain.
  std::optional<ListLabel> Label(pugi::xml_node p) {
    const pugi::xml_node ppr = p.child("w:pPr");
    std::optional<int> num_id = IntVal(ppr.child("w:numPr").child("w:numId"));
    std::optional<int> ilvl = IntVal(ppr.child("w:numPr").child("w:ilvl"));
    std::string style_id = ppr.child("w:pStyle").attribute("w:val").as_string();
    if (style_id.empty()) style_id = default_style_;
    std::string numbered_style;
    std::string id = style_id;
    for (int depth = 0; depth < 20 && !id.empty() && !num_id; ++depth) {
      const pugi::xml_node style = Style(id);
      const pugi::xml_node num_pr = style.child("w:pPr").child("w:numPr");
      if (num_pr.child("w:numId")) {
        num_id = IntVal(num_pr.child("w:numId"));
        if (!ilvl) ilvl = IntVal(num_pr.child("w:ilvl"));
        numbered_style = id;
      }
      id = style.child("w:basedOn").attribute("w:val").as_string();
    }
    if (!num_id) return std::nullopt;
    if (!ilvl) ilvl = numbering_.LevelForStyle(*num_id, numbered_style);
    return counter_.Next(*num_id, ilvl.value_or(0));
  }

  void Paragraph(pugi::xml_node p) {
    const std::optional<ListLabel> label = Label(p);
    std::string text;
    AppendStoryText(p, text);
    text = text.substr(0, text.find('\n'));
    for (char& c : text) {
      if (c == '\t') c = ' ';
    }
    const char* kind = !label ? "-" : label->is_bullet ? "bullet" : "number";
    std::cout << (label ? label->display_text : "") << '\t' << kind << '\t' << text << '\n';
  }

  const Numbering& numbering_;
  ListCounter counter_;
  pugi::xml_node styles_;
  std::string default_style_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: numbering_labels DOCUMENT.xml NUMBERING.xml STYLES.xml\n";
    return 2;
  }
  pugi::xml_document document, numbering_xml, styles;
  if (!Load(document, argv[1])) {
    std::cerr << "cannot read " << argv[1] << '\n';
    return 1;
  }
  Load(numbering_xml, argv[2]);  // missing parts read as empty
  Load(styles, argv[3]);
  const Numbering numbering = Numbering::Parse(numbering_xml, styles);
  for (const std::string& warning : numbering.warnings()) std::cerr << warning << '\n';
  Walker walker(numbering, styles.child("w:styles"));
  walker.Walk(document.child("w:document").child("w:body"));
  return 0;
}
