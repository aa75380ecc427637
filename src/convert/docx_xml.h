// XML parts of a .docx as pugixml trees with canonical namespace prefixes,
// and the small value readers every part reader shares.
//
// pugixml knows nothing of namespaces, and the same WordprocessingML element
// arrives as `w:p`, `ns0:p` or (in ISO strict documents such as
// oxsdk__Strict01.docx) under the http://purl.oclc.org/ooxml/... URIs. After
// ParseXmlPart every element and attribute name carries the canonical prefix
// of its namespace URI, whatever the file used, so readers can always write
// `node.child("w:p")` and `node.attribute("w:val")`.
//
// Canonical prefixes (transitional and strict URIs map to the same one):
//   w  wordprocessingml main      r   officeDocument relationships
//   wp drawingml wordprocessingDrawing   a  drawingml main
//   pic drawingml picture         m   math           mc  markup compatibility
//   v  VML                        o   office:office  w10 office:word
//   wps wpg wpc wpi wp14 w14 w15 w16se wne (Word 2006-2016 extensions)
//   c  chart   dgm diagram   dsp diagram drawing   sl schemaLibrary
//   ds customXml data store
//   cp core properties  dc  dcterms  dcmitype  xsi
//   ep extended (app) properties  vt docPropsVTypes
//   ct content types  pr package relationships  xml (the xml: prefix)
// Elements in the default namespace get the prefix of that namespace (so the
// package relationships read as `pr:Relationships`). An unknown URI keeps the
// file's own prefix unless that collides with a canonical one, in which case
// it becomes `ns1`, `ns2`, ... Unprefixed attributes stay unprefixed. The
// `xmlns` declarations are removed (they would no longer be true); the
// prefixes listed in `mc:Ignorable` are rewritten to canonical ones.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace tessarine::convert {

// The canonical prefix for a namespace URI; empty for an unknown URI.
std::string_view CanonicalPrefix(std::string_view namespace_uri);

// Parses one part and normalises its names. Refuses (with the reason, in
// English, for the user) text that is not well-formed XML and any part that
// declares a DTD: packages never carry one, and a DOCTYPE is how external
// entities are smuggled in (poi__ExternalEntityInText.docx). Entities are
// never resolved. On failure `doc` is left empty.
support::Status ParseXmlPart(std::string_view bytes, pugi::xml_document& doc);

// As ParseXmlPart, without copying the text: pugixml parses it where it
// stands, so the `size` bytes at `text` are changed and must outlive `doc`.
// For the large parts, whose copy would double the memory they take.
support::Status ParseXmlPartInPlace(char* text, size_t size, pugi::xml_document& doc);

// A part's text made fit for the parser, or nullopt when it already is:
//  * a legacy character set its XML declaration names (GB2312, Big5,
//    windows-1252 ...), which the parser cannot read, is decoded to UTF-8
//    through ICU and the declaration changed to say so;
//  * character references to U+0000 (&#0;, &#x0; ...), a character XML does
//    not allow and at which the parser would end the text, are removed, so
//    the text after them stays;
//  * attributes Word never writes longer than 255 characters (w:val,
//    w:color, font names, style ids ...) whose value runs past 1024 bytes
//    are left out, so that no later pass pays for megabytes of one value.
// What was done, and any character that had to be replaced, is added to
// `notes` for the user, naming `part_name`.
std::optional<std::string> RepairXmlText(std::string_view text, std::string_view part_name,
                                         std::vector<std::string>& notes);

// Renames the tree's elements and attributes as described above.
void NormalizeNamespaces(pugi::xml_node root);

// Whether ParseXmlPartInPlace would accept the text, without keeping the tree
// or normalising names (the cheaper half of parsing). The text is changed in
// the same way.
bool IsAcceptedXmlInPlace(char* text, size_t size);

// Where the top-level children of the main document's body stand in its
// text, found by a light scan instead of a parse, so that a large body can be
// parsed a stretch at a time. Each block is one child element with the text
// and comments that follow it (the first also with what precedes it); it ends
// where the next begins, the last at `content_end`.
struct BodyLayout {
  struct Block {
    size_t begin = 0;
    // A bookmark, permission, comment-range or proofing mark, which a writer
    // looks past when it looks for a paragraph's neighbour.
    bool marker = false;
    // Holds (or is) an element named sectPr.
    bool has_section = false;
  };
  size_t content_begin = 0;  // just past the body's start tag
  size_t content_end = 0;    // the body's end tag
  size_t body_index = 0;     // element children of the root before the body
  std::vector<Block> blocks;
};

// The layout of `text` when it is, as far as a scan can tell, an XML document
// in an ASCII-compatible encoding whose root holds a child element named body
// (any prefix) with at least one child element. The scan trusts that end tags
// match their start tags and does not look at namespaces: a caller parses
// what it cut out (a stretch that does not parse means the text is not
// well-formed) and checks that the root's child at `body_index` is its w:body.
// Nullopt for anything else (UTF-16, a DTD, a tag left open, no body).
std::optional<BodyLayout> ScanBodyLayout(std::string_view text);

// --- Value readers (on canonical names) -------------------------------------

// An ST_OnOff value: "0", "false", "off" (any case) are false, everything
// else, an absent or empty value included, is true.
bool OnOffValue(std::string_view value);

// The state of an on/off child such as `w:b` under `w:rPr`: nullopt when the
// child is absent, else OnOffValue of its `w:val`.
std::optional<bool> OnOffChild(pugi::xml_node parent, const char* name);

// A decimal integer attribute; nullopt when absent or not a number.
std::optional<int> IntAttribute(pugi::xml_node node, const char* name);

// A length in twentieths of a point. Accepts the transitional integer form
// and the universal measures of strict documents ("8pt", "12.95pt", "1in",
// "2.54cm", "10mm", "1pc", "1pi"), rounded to the nearest twip.
std::optional<int> TwipsAttribute(pugi::xml_node node, const char* name);

// A length in EMU (English Metric Units; 914400 per inch, 12700 per point),
// accepting universal measures as above.
std::optional<long long> EmuAttribute(pugi::xml_node node, const char* name);

// A percentage as written by transitional (fiftieths or whole numbers, per the
// attribute: "5000") or strict ("100%") files; returned in the unit the
// transitional attribute uses: `whole_number_unit` is 1 for attributes given in
// whole percent and 50 for those given in fiftieths of a percent.
std::optional<int> PercentAttribute(pugi::xml_node node, const char* name, int whole_number_unit);

// The attribute's text, nullopt when absent.
std::optional<std::string> TextAttribute(pugi::xml_node node, const char* name);

}  // namespace tessarine::convert
