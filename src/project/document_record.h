// One word-processor document of a project and the text encodings its fields
// use.
//
// A record is 37 text fields in a fixed order. Every field is text, flags and
// list positions included, because the rest of the system reads them by name
// and converts them where they are used:
//   Flag        "1" on, "0" off;
//   Index       decimal text of a 0-based position in a fixed list of choices;
//   Multi-line  the lines joined by "|||" (see MultiLineToText/TextToMultiLine).
// The in-class initialisers are the defaults of a freshly added record;
// AddDocumentRecord (project_settings.h) fills in the four fields that depend
// on the file and on the document counter.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tessarine::project {

struct DocumentRecord {
  std::string Path;                  // full path of the .doc/.docx file
  std::string FileName;              // Path after its last "/" (derived)
  std::string NodeName;              // name in the site's menus
  std::string NumberlistRule = "0";  // Index: chapter numbering rule
  std::string FilenamePre;           // prefix of every page file name
  std::string FileNameRule = "0";    // Index: page file-name rule
  std::string Header = "0";          // Flag
  std::string Footer = "0";          // Flag
  std::string HFHome = "0";          // Flag: header and footer on the home page too
  std::string Toc = "1";             // Flag
  std::string TocIndent = "...";     // level indent marker of the contents
  std::string Relative = "1";        // Flag: related topics
  std::string RelativeTitle;         // title of the related-topics block
  std::string ParseLevel = "8";      // Index: i means heading levels 1 to i+1
  std::string ExpandLevel = "1";     // Index: tree-menu expand depth
  std::string HeadTitleMode = "0";   // Index
  std::string HeadTitle;
  std::string MetaKeyMode = "0";  // Index
  std::string MetaKey;
  std::string MetaDescMode = "0";  // Index
  std::string MetaDesc;
  std::string SpecialFileName;     // Multi-line: keyword|file name per line
  std::string OptimizeMode = "1";  // Index: 0 none, 1 selective, 2 clear all
  std::string Opt1VML = "1";
  std::string Opt1Absolute = "1";
  std::string Opt1EQ = "1";
  std::string Opt1Margin = "1";
  std::string Opt1Space = "0";
  std::string Opt2Image = "1";
  std::string Opt2Table = "1";
  std::string Opt2EQ = "1";
  std::string Opt2Indent = "0";
  std::string Opt2PtoBR = "0";
  std::string OptPageWidth = "0";
  std::string OptPageMargin = "0";
  std::string OptPageEffect = "0";
  // Flag: paragraphs with an outline level (their own or their style's)
  // start pages as headings of that level do. Project files written before
  // the field existed read as "1".
  std::string OutlineHeadings = "1";

  bool operator==(const DocumentRecord&) const = default;
};

// The Document list: records in build order, positions counted from 1.
using DocumentList = std::vector<DocumentRecord>;

// Name and member of one record field, so that project files, tests and the
// settings dialog can walk all fields without naming each one.
struct DocumentField {
  std::string_view name;
  std::string DocumentRecord::*member;
};

#define TESSARINE_DOCUMENT_FIELD(name) \
  DocumentField {                      \
#name, &DocumentRecord::name       \
  }
// Every field of DocumentRecord, in record order.
inline constexpr std::array<DocumentField, 37> kDocumentFields = {
    TESSARINE_DOCUMENT_FIELD(Path),
    TESSARINE_DOCUMENT_FIELD(FileName),
    TESSARINE_DOCUMENT_FIELD(NodeName),
    TESSARINE_DOCUMENT_FIELD(NumberlistRule),
    TESSARINE_DOCUMENT_FIELD(FilenamePre),
    TESSARINE_DOCUMENT_FIELD(FileNameRule),
    TESSARINE_DOCUMENT_FIELD(Header),
    TESSARINE_DOCUMENT_FIELD(Footer),
    TESSARINE_DOCUMENT_FIELD(HFHome),
    TESSARINE_DOCUMENT_FIELD(Toc),
    TESSARINE_DOCUMENT_FIELD(TocIndent),
    TESSARINE_DOCUMENT_FIELD(Relative),
    TESSARINE_DOCUMENT_FIELD(RelativeTitle),
    TESSARINE_DOCUMENT_FIELD(ParseLevel),
    TESSARINE_DOCUMENT_FIELD(ExpandLevel),
    TESSARINE_DOCUMENT_FIELD(HeadTitleMode),
    TESSARINE_DOCUMENT_FIELD(HeadTitle),
    TESSARINE_DOCUMENT_FIELD(MetaKeyMode),
    TESSARINE_DOCUMENT_FIELD(MetaKey),
    TESSARINE_DOCUMENT_FIELD(MetaDescMode),
    TESSARINE_DOCUMENT_FIELD(MetaDesc),
    TESSARINE_DOCUMENT_FIELD(SpecialFileName),
    TESSARINE_DOCUMENT_FIELD(OptimizeMode),
    TESSARINE_DOCUMENT_FIELD(Opt1VML),
    TESSARINE_DOCUMENT_FIELD(Opt1Absolute),
    TESSARINE_DOCUMENT_FIELD(Opt1EQ),
    TESSARINE_DOCUMENT_FIELD(Opt1Margin),
    TESSARINE_DOCUMENT_FIELD(Opt1Space),
    TESSARINE_DOCUMENT_FIELD(Opt2Image),
    TESSARINE_DOCUMENT_FIELD(Opt2Table),
    TESSARINE_DOCUMENT_FIELD(Opt2EQ),
    TESSARINE_DOCUMENT_FIELD(Opt2Indent),
    TESSARINE_DOCUMENT_FIELD(Opt2PtoBR),
    TESSARINE_DOCUMENT_FIELD(OptPageWidth),
    TESSARINE_DOCUMENT_FIELD(OptPageMargin),
    TESSARINE_DOCUMENT_FIELD(OptPageEffect),
    TESSARINE_DOCUMENT_FIELD(OutlineHeadings),
};
#undef TESSARINE_DOCUMENT_FIELD

// The separator of a stored Multi-line text.
inline constexpr std::string_view kLineSeparator = "|||";

// A stored Multi-line text as an edit box shows it: every "|||" becomes CR LF.
std::string MultiLineToText(std::string_view stored);

// An edit box's text as a Multi-line value: every CR LF becomes "|||". Empty
// lines survive as empty entries between bars.
std::string TextToMultiLine(std::string_view text);

}  // namespace tessarine::project
