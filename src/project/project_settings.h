// The site-wide settings of the open project and its document list.
//
// There is one ProjectSettings per running program, shared by the main
// window (which edits it), the document settings dialog (which rewrites one
// record) and the build (which only reads it). Settings are stored exactly as
// the user typed them; checks happen when a build starts (validation.h).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "project/document_record.h"

namespace tessarine::project {

// Title of the program, shown in window captions.
inline constexpr std::string_view kProductTitle = "Tessarine";

struct ProjectSettings {
  // The in-class values are the defaults except OutputDir, which depends on
  // where the program runs: ResetProjectSettings fills it in.
  std::string OutputDir;             // folder the site is written to
  std::string FileExt = ".htm";      // page extension with its dot
  std::string Template = "default";  // folder name under <data>/template/
  std::string Charset = "gb2312";    // character set written into the pages
  std::string FileEncode = "0";      // Index: "0" ANSI, "1" UTF-8
  std::string PageNav = "1";         // Flag: breadcrumb bar on content pages
  std::string PageNavSep = "&nbsp;&gt;&gt;&nbsp;";
  // Defaults that lead somewhere on a site opened from a folder too: the
  // frameset home page beside the pages.
  std::string PageNavPreHTML = "<a href=\"default.htm\" target=\"_top\">网站首页</a>";
  std::string Copyright = "1";  // Flag
  std::string CopyrightHTML =
      "Copyright &copy; 2024-2026 Tessarine contributors. All rights reserved.";
  std::string PageTopLogo;                      // path of the logo image
  std::string PageTopNav = "首页|default.htm";  // Multi-line: text|address
  std::string HeadTitle = "在线文档中心";
  std::string MetaKey;
  std::string MetaDesc;
  // Flag: the build writes the readers' full-text search index and the
  // templates show the search box.
  std::string SiteSearch = "1";

  // The Document list in build order; list positions count from 1.
  DocumentList Documents;

  // The project file the settings came from or went to; empty when never saved.
  std::string ProjectFile;
  // True once the user changed anything since start-up, the last new project,
  // open or save. Not stored in project files.
  bool ProjectModified = false;

  // Raised by one for every record AddDocumentRecord makes. It belongs to the
  // running program rather than to the project: ResetProjectSettings,
  // removing and emptying leave it alone, so a default prefix is never handed
  // out twice in one run. Project files keep it, and opening one only ever
  // raises it (project_file.h).
  int DocCounter = 0;

  bool operator==(const ProjectSettings&) const = default;
};

// Name and member of one site-wide setting (OutputDir to SiteSearch).
struct SettingField {
  std::string_view name;
  std::string ProjectSettings::*member;
};

#define TESSARINE_SETTING_FIELD(name) \
  SettingField {                      \
#name, &ProjectSettings::name     \
  }
// Every text setting: the settings view's first, then those added later.
inline constexpr std::array<SettingField, 16> kSettingFields = {
    TESSARINE_SETTING_FIELD(OutputDir),   TESSARINE_SETTING_FIELD(FileExt),
    TESSARINE_SETTING_FIELD(Template),    TESSARINE_SETTING_FIELD(Charset),
    TESSARINE_SETTING_FIELD(FileEncode),  TESSARINE_SETTING_FIELD(PageNav),
    TESSARINE_SETTING_FIELD(PageNavSep),  TESSARINE_SETTING_FIELD(PageNavPreHTML),
    TESSARINE_SETTING_FIELD(Copyright),   TESSARINE_SETTING_FIELD(CopyrightHTML),
    TESSARINE_SETTING_FIELD(PageTopLogo), TESSARINE_SETTING_FIELD(PageTopNav),
    TESSARINE_SETTING_FIELD(HeadTitle),   TESSARINE_SETTING_FIELD(MetaKey),
    TESSARINE_SETTING_FIELD(MetaDesc),    TESSARINE_SETTING_FIELD(SiteSearch),
};
#undef TESSARINE_SETTING_FIELD

// Every setting to its default (OutputDir = support::DefaultOutputFolder()),
// ProjectFile empty, the Document list empty. ProjectModified and DocCounter
// keep their values.
void ResetProjectSettings(ProjectSettings& settings);

// A freshly reset project, DocCounter 0 and not modified.
ProjectSettings DefaultProjectSettings();

// Appends a record for the file at `path` with the default fields: Path as
// given, FileName = the file part of the path, NodeName = FileName up to its
// last "." (the whole name when it has none), FilenamePre = "doc" followed
// by the raised DocCounter. Returns the new record's position (the new list
// size). Nothing is checked: the settings dialog and the build do that.
int AddDocumentRecord(ProjectSettings& settings, const std::string& path);

}  // namespace tessarine::project
