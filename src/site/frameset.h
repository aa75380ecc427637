// Frameset stage, run once after every document's pages: the site's home
// page ("default" & FileExt) framing the top page ("top" & FileExt) with the
// logo and the top menu and the left page ("left" & FileExt) with the tree
// menu, whose data goes to tfiles/dtree-data.js. The pages come from the
// template's default.htm, top.htm and left.htm.
//
// The driver calls the three writers in this order, after it has copied the
// template's tfiles/ into the output folder. A file that cannot be written
// fails the build with a message naming it, and so does a template that
// lacks one of the three pages (the site would open on an empty page).
//
// Placeholders of the three pages (besides charset, title, metakey and
// metadesc, from the project's Charset, HeadTitle, MetaKey and MetaDesc):
//   default.htm  {linktop} {linkleft} {linkmain}: the top page, the left page
//                and the home page of the first document that produced pages
//                ("about:blank" when none did)
//   top.htm      {logo}: the logo's address; {menu}: the top menu HTML
#pragma once

#include <string>
#include <string_view>

#include "project/project_settings.h"
#include "site/section.h"
#include "support/status.h"

namespace tessarine::site {

// The stems of the three frame pages, each followed by FileExt: the frameset
// home, the top frame and the menu frame.
inline constexpr std::string_view kHomeName = "default";
inline constexpr std::string_view kTopName = "top";
inline constexpr std::string_view kLeftName = "left";

inline constexpr std::string_view kFramesetHomeNames =
    "charset|title|metakey|metadesc|linktop|linkleft|linkmain";
inline constexpr std::string_view kTopFrameNames = "charset|title|metakey|metadesc|logo|menu";
inline constexpr std::string_view kMenuFrameNames = "charset|title|metakey|metadesc";

// The template's own logo, used when PageTopLogo names no existing file.
inline constexpr std::string_view kDefaultLogo = "tfiles/images/logo.gif";
// The project's logo in the output folder: this and the picture's extension.
inline constexpr std::string_view kLogoStem = "top~logo";
// The menu data, relative to the output folder.
inline constexpr std::string_view kMenuDataFile = "tfiles/dtree-data.js";

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

// The top menu from PageTopNav: lines "text|address" joined by "|||"; a line
// without exactly one "|" or with an empty side (after trimming spaces) is
// passed over. Each link opens in a new window; texts and addresses go in as
// they stand. Empty when no line is valid.
std::string BuildTopMenu(std::string_view page_top_nav);

// The whole of tfiles/dtree-data.js: "var tmenuItems=[" and one item per row
// of every document's table, in list order, then "];", on one line. An item
// is
//   ["<one | per level><+ when the level is below ExpandLevel><Title>",
//    "<PageFile>",<icon and style set>,],
// with the set of names H0... for a document's home page, HC... for a page
// with sub-pages and NC... for one without; the template's menu script
// defines them. `\`, `"` and control characters in titles and file names are
// escaped for the script, and a title that starts with "|" or "+" has that
// character written as a character reference so it cannot be read as a
// level or expand mark.
std::string BuildMenuData(const project::DocumentList& documents,
                          const SiteSections& site_sections);

}  // namespace tessarine::site
