// Equations of a document (Office Math, the m: elements of document.xml) as
// MathML, so that they render in today's browsers.
//
// Word itself writes an equation twice: the OMML inside a conditional
// comment for Word, and a picture of it inside a downlevel-revealed
// `<![if !msEquation]>…<![endif]>` block for everyone else
// (wordhtml-samples cn-qiaod-weekly/note.htm). We have no renderer for the
// picture and write MathML in that block instead. The block is the form the
// later clean-up stages are built for: the selective passes remove comments
// but leave downlevel-revealed blocks and their content alone, and the
// all-clear tag filter removes the markers and every MathML tag (none begins
// with p, br, sub or sup) while the equation's characters stay as text.
//
// Text is written UTF-8 and escaped; the page encoder turns characters the
// page's code page lacks into numeric references.
#pragma once

#include <pugixml.hpp>
#include <string>

namespace tessarine::convert {

// Appends `equation` to `out`: an m:oMath as one inline <math> element, an
// m:oMathPara as one <math display="block"> per m:oMath it holds, each in its
// own `<![if !msEquation]>…<![endif]>` block. Expects canonical names
// (ParseXmlPart). Returns false when part of the equation was nested too deep
// to follow and was left out; the markup written is well-formed either way.
bool AppendEquationHtml(pugi::xml_node equation, std::string& out);

}  // namespace tessarine::convert
