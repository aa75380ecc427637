#include "site/navigation.h"

namespace tessarine::site {

// Gives every page an empty breadcrumb bar until the bar is built.
void BuildNavBars(SectionTable& sections, std::string_view /*page_nav_pre_html*/,
                  std::string_view /*page_nav_sep*/) {
  for (Section& row : sections) row.Nav.clear();
}

// Gives no related-topics block until the block is built.
std::string BuildRelatedBlock(const SectionTable& /*sections*/, size_t /*row*/,
                              const project::DocumentRecord& /*document*/) {
  return {};
}

}  // namespace tessarine::site
