// Page header and footer stage: the document's first header and first footer
// taken from the header file of its Word HTML (<scratch>/<prefix>.files/
// header.htm), made plain HTML, their pictures copied into the document's
// resource folder, and the footer numbered for every page.
//
// The driver calls BuildHeaders and then BuildFooters once per document,
// after the page titles and chapter numbers are set. Both fill their field
// for every row of the table (empty text where the record's Header, Footer
// or HFHome setting keeps it off). Failures: a pattern that runs out of
// resources, a picture that cannot be copied.
#pragma once

#include <string>

#include "project/document_record.h"
#include "site/section.h"
#include "support/status.h"

namespace tessarine::site {

// Fills HeaderHtml of every row. `scratch_folder` holds the Word HTML and its
// companion folder; header pictures go to <output_dir><prefix>.files/. Both
// folders end with "/".
support::Status BuildHeaders(SectionTable& sections, const project::DocumentRecord& document,
                             const std::string& scratch_folder, const std::string& output_dir);

// Fills FooterHtml of every row, with the page number and the page count
// written into Word's page fields.
support::Status BuildFooters(SectionTable& sections, const project::DocumentRecord& document,
                             const std::string& scratch_folder, const std::string& output_dir);

}  // namespace tessarine::site
