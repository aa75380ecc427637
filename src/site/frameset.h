// Frameset stage, run once after every document's pages: the site's home
// page ("default" & FileExt) framing the top page ("top" & FileExt) with the
// logo and the top menu and the left page ("left" & FileExt) with the tree
// menu, whose data goes to tfiles/dtree-data.js. The pages come from the
// template's default.htm, top.htm and left.htm.
//
// The driver calls the three writers in this order, after it has copied the
// template's tfiles/ into the output folder. A file that cannot be written
// fails the build with a message naming it.
#pragma once

#include <string>

#include "project/project_settings.h"
#include "site/section.h"
#include "support/status.h"

namespace tessarine::site {

// The frameset home page. Its main frame opens the home page of the first
// document that produced pages (a skipped document has an empty entry in
// `site_sections`).
support::Status WriteFramesetHome(const project::ProjectSettings& settings,
                                  const std::string& template_folder,
                                  const SiteSections& site_sections);

// The top page with the project's logo (copied into the output folder) and
// its top menu (PageTopNav).
support::Status WriteTopFrame(const project::ProjectSettings& settings,
                              const std::string& template_folder);

// The left page and the menu data over every page of every document, in list
// order, passing over skipped documents.
support::Status WriteMenuFrame(const project::ProjectSettings& settings,
                               const std::string& template_folder,
                               const SiteSections& site_sections);

}  // namespace tessarine::site
