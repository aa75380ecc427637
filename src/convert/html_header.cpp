#include "convert/html_header.h"

#include <array>
#include <map>
#include <utility>

#include "convert/html_body.h"
#include "convert/html_document.h"
#include "convert/html_text.h"

namespace tessarine::convert {

namespace {

// One kind of story, in the order Word writes the kinds of a section.
struct StoryKind {
  std::string_view prefix;    // of the story id
  std::string_view property;  // of the @page declaration
  std::string_view type;      // w:type of the reference
  bool footer;
};
constexpr std::array<StoryKind, 6> kStoryKinds = {{
    {"eh", "mso-even-header", "even", false},
    {"h", "mso-header", "default", false},
    {"ef", "mso-even-footer", "even", true},
    {"f", "mso-footer", "default", true},
    {"fh", "mso-first-header", "first", false},
    {"ff", "mso-first-footer", "first", true},
}};

struct Separator {
  std::string_view element;  // mso-element of the story
  std::string_view id;
  std::string_view character;  // mso-special-character of its mark
  bool full_width;             // a continuation separator spans the column
};
constexpr std::array<Separator, 4> kSeparators = {{
    {"footnote-separator", "fs", "footnote-separator", false},
    {"footnote-continuation-separator", "fcs", "footnote-continuation-separator", true},
    {"endnote-separator", "es", "footnote-separator", false},
    {"endnote-continuation-separator", "ecs", "footnote-continuation-separator", true},
}};

// The header file's address inside a CSS url(""): characters that would end
// the string or, for the rule writer, the declaration are percent-encoded.
void AppendHeaderUrl(std::string& css, std::string_view files_folder) {
  css += "url(\"";
  for (char c : files_folder) {
    if (c == '"') {
      css += "%22";
    } else if (c == ';') {
      css += "%3B";
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      css += c;
    }
  }
  css += "/header.htm\")";
}

void AppendSeparators(const HtmlDocument& doc, std::string& out) {
  // Word writes its separator marks in an English span even in a Chinese
  // document (cn-suzhouxing/index.files/header.htm).
  const bool english_span = doc.body_language != "EN-US";
  for (const Separator& separator : kSeparators) {
    out += "<div style='mso-element:";
    out += separator.element;
    out += "' id=";
    out += separator.id;
    out += ">\r\n\r\n<p class=MsoNormal>";
    if (english_span) out += "<span lang=EN-US>";
    out += "<span style='mso-special-character:";
    out += separator.character;
    out += "'><![if !supportFootnotes]>\r\n\r\n<hr align=left size=1";
    if (!separator.full_width) out += " width=\"33%\"";
    out += ">\r\n\r\n<![endif]></span>";
    if (english_span) out += "</span>";
    out += "</p>\r\n\r\n</div>\r\n\r\n";
  }
}

}  // namespace

HeaderFooterPlan PlanHeaderFooters(const HtmlDocument& doc) {
  HeaderFooterPlan plan;
  const DocxPackage& package = *doc.package;
  plan.note_separators = package.footnotes_part() != nullptr || package.endnotes_part() != nullptr;
  plan.sections.resize(doc.sections.size());
  std::array<std::string, kStoryKinds.size()> in_force;           // the story each kind uses so far
  std::map<std::pair<std::string, size_t>, std::string> written;  // part and kind -> story id
  std::map<std::string, const Relationship*> relationships;       // by id
  for (size_t i = 0; i < doc.sections.size(); ++i) {
    const SectionProperties& section = doc.sections[i];
    for (size_t k = 0; k < kStoryKinds.size(); ++k) {
      const StoryKind& kind = kStoryKinds[k];
      const Relationship* own = nullptr;
      for (const HeaderFooterReference& reference :
           kind.footer ? section.footers : section.headers) {
        if (reference.type != kind.type) continue;
        // Relationship lookups are linear; a long document names the same
        // few ids section after section.
        auto [cached, added] = relationships.try_emplace(reference.id, nullptr);
        if (added) cached->second = package.MainRelationship(reference.id);
        if (cached->second != nullptr && !cached->second->external) own = cached->second;
      }
      if (own != nullptr) {
        // A part that a later section names again is written once: every
        // copy would hold the same text, and a small package could otherwise
        // have one large part written for each of thousands of sections.
        const auto [story_id, first_use] = written.try_emplace({own->target, k});
        if (first_use) {
          story_id->second = std::string(kind.prefix) + std::to_string(i + 1);
          plan.stories.push_back({story_id->second, kind.footer, own->target});
        }
        in_force[k] = story_id->second;
      }
      if (!in_force[k].empty()) plan.sections[i].push_back({kind.property, in_force[k]});
    }
  }
  return plan;
}

std::string NoteSeparatorPageCss(std::string_view files_folder) {
  std::string css;
  for (const Separator& separator : kSeparators) {
    css += "mso-";
    css += separator.element;
    css += ':';
    AppendHeaderUrl(css, files_folder);
    css += ' ';
    css += separator.id;
    css += ';';
  }
  return css;
}

void AppendPageStoryCss(std::string& css, const HeaderFooterPlan& plan, size_t index,
                        std::string_view files_folder) {
  if (index >= plan.sections.size()) return;
  for (const PageStoryReference& reference : plan.sections[index]) {
    css += reference.property;
    css += ':';
    AppendHeaderUrl(css, files_folder);
    css += ' ';
    css += reference.story_id;
    css += ';';
  }
}

std::string RenderHeaderFile(const HtmlDocument& doc, const HeaderFooterPlan& plan,
                             std::string_view main_file_name, PictureFiles* pictures) {
  if (plan.empty()) return {};
  // The main file's namespaces and meta elements, its link back instead of
  // a file list, and no style sheet: the stories use the main file's.
  std::string out(kWordHtmlOpening);
  out += "<link id=Main-File rel=Main-File href=\"../";
  AppendAttributeText(out, main_file_name);
  out +=
      "\">\r\n"
      "<!--[if gte mso 9]><xml>\r\n <o:shapedefaults v:ext=\"edit\" spidmax=\"2049\"/>\r\n"
      "</xml><![endif]-->\r\n"
      "</head>\r\n\r\n<body lang=";
  out += doc.body_language;
  out += ">\r\n\r\n";
  if (plan.note_separators) AppendSeparators(doc, out);

  BodyWriter writer(doc, out);
  if (pictures != nullptr) writer.SetPictures(pictures);
  // The file lies in the companion folder: pictures are named bare.
  writer.SetPictureSourcePrefix("");
  bool missing_reported = false;
  for (const HeaderFooterStory& story : plan.stories) {
    out += story.footer ? "<div style='mso-element:footer' id="
                        : "<div style='mso-element:header' id=";
    out += story.id;
    out += ">\r\n\r\n";
    const pugi::xml_document* part = doc.package->XmlPart(story.part_name);
    pugi::xml_node root;
    if (part != nullptr) {
      root = part->child("w:hdr");
      if (!root) root = part->child("w:ftr");
    }
    if (root) {
      writer.WriteStory(root, story.part_name);
    } else {
      // Word keeps at least one paragraph in every story.
      out += story.footer ? "<p class=MsoFooter>" : "<p class=MsoHeader>";
      out += "<o:p>&nbsp;</o:p></p>\r\n\r\n";
      if (!missing_reported) {
        doc.Diagnose("A header or footer part is missing or unreadable; it was left empty.");
        missing_reported = true;
      }
    }
    out += "</div>\r\n\r\n";
  }
  out += "</body>\r\n\r\n</html>\r\n";
  return out;
}

}  // namespace tessarine::convert
