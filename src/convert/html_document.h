// What the parts of the Word HTML writer share about one document: the
// parsed style sheet and numbering, the sections in order, the languages and
// fonts CSS is written against, and where diagnostics go. Built once per
// document by BuildHtmlDocument; the head and body writers only read it.
#pragma once

#include <functional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "convert/docx_package.h"
#include "convert/docx_properties.h"
#include "convert/docx_styles.h"
#include "convert/html_css.h"
#include "convert/numbering.h"

namespace tessarine::convert {

// How every Word HTML file of ours starts (the main file and header.htm):
// Word's namespaces and its meta elements, in code page 936.
inline constexpr std::string_view kWordHtmlOpening =
    "<html xmlns:v=\"urn:schemas-microsoft-com:vml\"\r\n"
    "xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
    "xmlns:w=\"urn:schemas-microsoft-com:office:word\"\r\n"
    "xmlns:m=\"http://schemas.microsoft.com/office/2004/12/omml\"\r\n"
    "xmlns=\"http://www.w3.org/TR/REC-html40\">\r\n\r\n"
    "<head>\r\n"
    "<meta http-equiv=Content-Type content=\"text/html; charset=gb2312\">\r\n"
    "<meta name=ProgId content=Word.Document>\r\n"
    "<meta name=Generator content=\"Tessarine\">\r\n"
    "<meta name=Originator content=\"Tessarine\">\r\n";

struct HtmlDocument {
  const DocxPackage* package = nullptr;
  StyleSheet styles;
  Numbering numbering;
  // One entry per section, in document order: the sectPr of each paragraph
  // that ends a section, then the body's own.
  std::vector<SectionProperties> sections;
  CssFonts fonts;
  CssLanguages languages;
  std::string body_language;  // lang= of <body>: "ZH-CN", "EN-US"
  std::string files_folder;   // "<stem>.files"
  std::string title;          // <title> text, plain
  std::vector<std::string>* diagnostics = nullptr;

  void Diagnose(std::string message) const {
    if (diagnostics != nullptr) diagnostics->push_back(std::move(message));
  }
};

// Reads what the writer needs from the package. `diagnostics` may be null.
HtmlDocument BuildHtmlDocument(const DocxPackage& package, const std::string& files_folder,
                               std::vector<std::string>* diagnostics);

// The sections' w:sectPr nodes in order (paragraph ones, then the body's;
// an empty handle when the body has none).
std::vector<pugi::xml_node> SectionNodes(pugi::xml_node body);

// The first words of the document's text, for a <title> when the document
// has no Title property.
std::string FirstWords(const DocxPackage& package);

// The head: everything from <html …> to </head>, CR LF line ends.
void WriteHtmlHead(const HtmlDocument& doc, std::string& out);

// The body: <body …> with one div per section, to </body>.
void WriteHtmlBody(const HtmlDocument& doc, std::string& out);

// The same, handing `out` to `drain` whenever it has grown past a few
// megabytes (and leaving it to the caller to drain the rest at the end), so a
// large document is written out while it is rendered instead of being held
// whole. `drain` takes the text and leaves `out` empty. The text is the same
// byte for byte: the writer only ever appends to `out`.
void WriteHtmlBody(const HtmlDocument& doc, std::string& out,
                   const std::function<void(std::string&)>& drain);

}  // namespace tessarine::convert
