#include "site/frameset.h"

namespace tessarine::site {

// Writes nothing until the frameset pages are built.
support::Status WriteFramesetHome(const project::ProjectSettings& /*settings*/,
                                  const std::string& /*template_folder*/,
                                  const SiteSections& /*site_sections*/) {
  return support::Status::Ok();
}

// Writes nothing until the frameset pages are built.
support::Status WriteTopFrame(const project::ProjectSettings& /*settings*/,
                              const std::string& /*template_folder*/) {
  return support::Status::Ok();
}

// Writes nothing until the frameset pages and the menu data are built.
support::Status WriteMenuFrame(const project::ProjectSettings& /*settings*/,
                               const std::string& /*template_folder*/,
                               const SiteSections& /*site_sections*/) {
  return support::Status::Ok();
}

}  // namespace tessarine::site
