#include "site/frameset.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "project/validation.h"
#include "site/templates.h"
#include "support/files.h"
#include "support/text_file.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;
using project::ProjectSettings;
using support::Result;
using support::Status;

constexpr std::string_view kHomeTemplate = "default.htm";
constexpr std::string_view kTopTemplate = "top.htm";
constexpr std::string_view kLeftTemplate = "left.htm";
// A main frame with nothing to show: every document of the build was blank.
constexpr std::string_view kNoMainPage = "about:blank";

constexpr std::string_view kNavLineSeparator = "|||";
constexpr char kNavFieldSeparator = '|';
constexpr std::string_view kMenuHead = "<div id=\"tessarine_menu\"><ul>";
constexpr std::string_view kMenuTail = "</ul></div>";
constexpr std::string_view kMenuItemSeparator = "<li class=\"tessarine_menu_sep\"></li>";

constexpr std::string_view kMenuDataHead = "var tmenuItems=[";
constexpr std::string_view kMenuDataTail = "];";
constexpr std::string_view kItemEnd = ",],";
constexpr char kLevelMark = '|';
constexpr char kExpandMark = '+';
constexpr std::string_view kHomeLevel = "0";
constexpr std::string_view kHomeItemSet =
    R"(H0iconNormal,H0iconOver,H0iconExpanded,"","",H0itemStyleInd,H0itemXPStyleInd)";
constexpr std::string_view kParentItemSet =
    R"(HCiconNormal,HCiconOver,HCiconExpanded,"","",HCitemStyleInd,HCitemXPStyleInd)";
constexpr std::string_view kLeafItemSet =
    R"(NCiconNormal,NCiconOver,NCiconExpanded,"","",NCitemStyleInd,NCitemXPStyleInd)";

std::string InFolder(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string_view TrimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A level or index stored as decimal text. Anything else counts as 0: a
// project file edited by hand must not stop the menu.
int DecimalOr0(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return 0;
  return value;
}

// Text inside a double-quoted script string. Line breaks and other control
// characters would end the one-line data file's string or its line.
std::string ScriptText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out;
}

// The menu script reads leading "|" as levels and a following "+" as the
// expand mark; a title is HTML text, so the same character as a reference
// reads the same and cannot be taken for a mark.
std::string MenuTitle(std::string_view title) {
  if (!title.empty() && title.front() == kLevelMark) return "&#124;" + ScriptText(title.substr(1));
  if (!title.empty() && title.front() == kExpandMark) return "&#43;" + ScriptText(title.substr(1));
  return ScriptText(title);
}

std::string_view ItemSet(const Section& row) {
  if (row.Level == kHomeLevel) return kHomeItemSet;
  return row.HasChildren == 0 ? kLeafItemSet : kParentItemSet;
}

// The logo file's name as a relative address: characters that would end the
// attribute or start a query or fragment are percent-encoded.
std::string LogoAddress(std::string_view file_name) {
  std::string address;
  for (const char c : file_name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F ||
        std::string_view("\"#%<>?'").find(c) != std::string_view::npos) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      address += escaped;
    } else {
      address += c;
    }
  }
  return address;
}

// The home page of the first document that produced pages.
std::string MainPage(const SiteSections& site_sections) {
  for (const SectionTable& sections : site_sections) {
    if (!sections.empty()) return sections.front().PageFile;
  }
  return std::string(kNoMainPage);
}

PlaceholderMap SiteValues(const ProjectSettings& settings) {
  return {
      {"charset", settings.Charset},
      {"title", settings.HeadTitle},
      {"metakey", settings.MetaKey},
      {"metadesc", settings.MetaDesc},
  };
}

// Reads the template page, fills it and writes it as `page_name` & FileExt in
// the output folder.
Status WriteFramePage(const ProjectSettings& settings, const std::string& template_folder,
                      std::string_view template_file, std::string_view names,
                      const PlaceholderMap& values, std::string_view page_name) {
  const std::string source = InFolder(template_folder, template_file);
  if (!support::FileExists(source)) {
    return Status::Error(support::StatusCode::kIoFailed,
                         "cannot read " + source + ": the template has no such file");
  }
  Result<std::string> page = FillPlaceholders(support::ReadTextFile(source), names, values);
  if (!page) return page.status();
  const std::string target =
      InFolder(settings.OutputDir, std::string(page_name) + settings.FileExt);
  return support::WriteTextFile(target, *page, settings.FileEncode);
}

// Copies the project's logo into the output folder and gives its address;
// the template's logo when PageTopLogo names no existing file. The copy's
// name comes from the picture's kind, and its "~" is a character no page
// name, prefix or special name can hold, so the logo never replaces a page,
// a resource folder or a template file, and a file that is no picture is
// refused rather than published.
Result<std::string> CopyLogo(const ProjectSettings& settings) {
  const std::string source = support::NormalizePath(settings.PageTopLogo);
  if (source.empty() || !support::FileExists(source)) return std::string(kDefaultLogo);
  if (auto problem = project::CheckLogoFile(source))
    return Status::Error(support::StatusCode::kInvalidInput, *problem);
  const std::string name = std::string(kLogoStem) + support::PictureExtension(source);
  const std::string target = InFolder(settings.OutputDir, name);
  std::error_code error;
  // A logo kept in the output folder itself is already in place; copying a
  // file onto itself fails.
  if (!fs::equivalent(source, target, error)) {
    if (Status copied = support::CopyFileReplacing(source, target); !copied) {
      return Status::Error(support::StatusCode::kIoFailed,
                           "the logo " + source + ": " + copied.message());
    }
  }
  return LogoAddress(name);
}

}  // namespace

std::string BuildTopMenu(std::string_view page_top_nav) {
  std::string menu;
  size_t start = 0;
  while (start <= page_top_nav.size()) {
    size_t end = page_top_nav.find(kNavLineSeparator, start);
    if (end == std::string_view::npos) end = page_top_nav.size();
    const std::string_view line = page_top_nav.substr(start, end - start);
    start = end + kNavLineSeparator.size();

    const size_t bar = line.find(kNavFieldSeparator);
    if (bar == std::string_view::npos ||
        line.find(kNavFieldSeparator, bar + 1) != std::string_view::npos) {
      continue;
    }
    const std::string_view text = TrimSpaces(line.substr(0, bar));
    const std::string_view address = TrimSpaces(line.substr(bar + 1));
    if (text.empty() || address.empty()) continue;
    if (!menu.empty()) menu += kMenuItemSeparator;
    menu += "<li><a href=\"";
    menu += address;
    menu += "\" target=\"_blank\">";
    menu += text;
    menu += "</a></li>";
  }
  if (menu.empty()) return menu;
  return std::string(kMenuHead) + menu + std::string(kMenuTail);
}

std::string BuildMenuData(const project::DocumentList& documents,
                          const SiteSections& site_sections) {
  std::string data(kMenuDataHead);
  for (size_t i = 0; i < site_sections.size() && i < documents.size(); ++i) {
    const int expand_level = DecimalOr0(documents[i].ExpandLevel);
    for (const Section& row : site_sections[i]) {
      const int level = DecimalOr0(row.Level);
      data += "[\"";
      data.append(static_cast<size_t>(level), kLevelMark);
      if (level < expand_level) data += kExpandMark;
      data += MenuTitle(row.Title);
      data += "\",\"";
      data += ScriptText(row.PageFile);
      data += "\",";
      data += ItemSet(row);
      data += kItemEnd;
    }
  }
  data += kMenuDataTail;
  return data;
}

Status WriteFramesetHome(const ProjectSettings& settings, const std::string& template_folder,
                         const SiteSections& site_sections) {
  PlaceholderMap values = SiteValues(settings);
  values["linktop"] = std::string(kTopName) + settings.FileExt;
  values["linkleft"] = std::string(kLeftName) + settings.FileExt;
  values["linkmain"] = MainPage(site_sections);
  return WriteFramePage(settings, template_folder, kHomeTemplate, kFramesetHomeNames, values,
                        kHomeName);
}

Status WriteTopFrame(const ProjectSettings& settings, const std::string& template_folder) {
  PlaceholderMap values = SiteValues(settings);
  values["menu"] = BuildTopMenu(settings.PageTopNav);
  Result<std::string> logo = CopyLogo(settings);
  if (!logo) return logo.status();
  values["logo"] = std::move(*logo);
  return WriteFramePage(settings, template_folder, kTopTemplate, kTopFrameNames, values, kTopName);
}

Status WriteMenuFrame(const ProjectSettings& settings, const std::string& template_folder,
                      const SiteSections& site_sections) {
  if (Status s = WriteFramePage(settings, template_folder, kLeftTemplate, kMenuFrameNames,
                                SiteValues(settings), kLeftName);
      !s) {
    return s;
  }
  const std::string data_file = InFolder(settings.OutputDir, kMenuDataFile);
  std::error_code error;
  fs::create_directories(fs::path(data_file).parent_path(), error);  // the write names a failure
  return support::WriteTextFile(data_file, BuildMenuData(settings.Documents, site_sections),
                                settings.FileEncode);
}

}  // namespace tessarine::site
