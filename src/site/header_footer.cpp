#include "site/header_footer.h"

namespace tessarine::site {

// Gives every page an empty header until the header extraction is built.
support::Status BuildHeaders(SectionTable& sections, const project::DocumentRecord& /*document*/,
                             const std::string& /*scratch_folder*/,
                             const std::string& /*output_dir*/) {
  for (Section& row : sections) row.HeaderHtml.clear();
  return support::Status::Ok();
}

// Gives every page an empty footer until the footer extraction is built.
support::Status BuildFooters(SectionTable& sections, const project::DocumentRecord& /*document*/,
                             const std::string& /*scratch_folder*/,
                             const std::string& /*output_dir*/) {
  for (Section& row : sections) row.FooterHtml.clear();
  return support::Status::Ok();
}

}  // namespace tessarine::site
