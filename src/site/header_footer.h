// Page header and footer stage: the document's first header and first footer
// taken from the header file of its Word HTML (header.htm of its companion
// files), made plain HTML, their pictures copied into the document's
// resource folder, and both numbered for every page. Field codes go as they
// do in the body (their results stay), and neither ever leaves a comment
// open.
//
// The driver calls BuildHeaders and then BuildFooters once per document,
// after the page titles and chapter numbers are set. Both fill their field
// for every row of the table: empty text where the record's Header or Footer
// is not "1" (the header file is then not read), on the home page when HFHome
// is "0", and when the header file is missing or holds no such element.
// Failures: a prefix that is not plain letters and digits, a pattern that
// runs out of resources. A picture that is missing or cannot be copied is
// passed over.
#pragma once

#include <string>
#include <string_view>

#include "convert/word_html_page.h"
#include "project/document_record.h"
#include "site/section.h"
#include "support/status.h"

namespace tessarine::site {

// Fills HeaderHtml of every row, numbered as BuildFooters numbers footers.
// `files` are the companion files of the document's Word HTML; header
// pictures go to <output_dir><prefix>.files/ (`output_dir` ends with "/").
support::Status BuildHeaders(SectionTable& sections, const project::DocumentRecord& document,
                             const convert::CompanionFiles& files, const std::string& output_dir);

// Fills FooterHtml of every row. Pages are counted from 1 over the rows that
// get a footer; the page count is always the number of rows.
support::Status BuildFooters(SectionTable& sections, const project::DocumentRecord& document,
                             const convert::CompanionFiles& files, const std::string& output_dir);

// One page's copy of an extracted header or footer: the number Word last computed for a
// page-number span or a PAGE field becomes `page`, that of a NUMPAGES field
// becomes `page_count`; then the footer is tidied like a header.
support::Result<std::string> NumberFooter(std::string_view footer, int page, int page_count);

// The VML picture step of the extraction: a "<v:shape>" holding a
// "<v:imagedata>" becomes "<img src=... width=... height=...>" with the
// source, and the width and height the shape's style gives (units kept). A
// shape without a picture (a text box, a line) is left as it is and never
// joined to the next picture.
support::Result<std::string> VmlPicturesToImages(std::string_view html);

}  // namespace tessarine::site
