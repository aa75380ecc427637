// The checks a build runs before it starts and the checks of the document
// settings dialog's OK command, with the messages the user reads.
//
// Both front ends show these messages as they stand (the GUI in an error box,
// the CLI on stderr) and, where a check names a control, the GUI gives that
// control the focus with its text selected. The functions change the values
// exactly where the user would see them change: a check that trims or
// normalises a value stores it back even when a later check fails.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "project/document_record.h"
#include "project/project_settings.h"

namespace tessarine::project {

// Messages and the extension rule that the batch window's start command
// shares with the build's checks.
inline constexpr std::string_view kInvalidOutputDir = "提示：无效的输出文件夹！";
inline constexpr std::string_view kInvalidFileExt = "提示：无效的输出文件扩展名格式！";
inline constexpr std::string_view kNoDocuments =
    "提示：请选择要转换的 Word 文档，至少要有一个文档！";
// A page extension: a dot and up to 15 letters or digits.
inline constexpr std::string_view kFileExtPattern = R"(^\.[a-zA-Z0-9]{1,15}$)";

// The control that receives the focus after a failed check.
enum class FocusControl {
  kNone,
  kTxtOutputDir,    // main window, first tab
  kTxtFileExt,      // main window, first tab
  kTxtPath,         // document settings dialog, first tab
  kTxtFilenamePre,  // document settings dialog, first tab
};

// The control's object name ("txtOutputDir", ...); empty for kNone.
std::string_view ControlName(FocusControl control);

struct ValidationFailure {
  std::string message;  // shown as it stands; line breaks are CR LF
  FocusControl focus = FocusControl::kNone;
  // Position (from 1) of the record the failure is about; 0 for a failure of
  // the site-wide settings.
  int document = 0;

  bool operator==(const ValidationFailure&) const = default;
};

// True when no two records have prefixes that are equal ignoring letter case.
bool PrefixesUnique(const DocumentList& documents);

// The checks of the build command, in order:
//  1. OutputDir: "\" read as "/", a final "/" appended, stored back; it must
//     name an existing folder ("提示：无效的输出文件夹！", txtOutputDir). An
//     empty OutputDir is refused rather than read as the root folder.
//  2. FileExt trimmed of spaces and stored back; it must match
//     "^\.[a-zA-Z0-9]+$" ("提示：无效的输出文件扩展名格式！", txtFileExt).
//  3. Template: one folder name (not empty, no "/" or "\", not "." or "..")
//     whose folder <data_folder>template/<Template> exists ("提示：无效的模板！").
//  4. Charset not empty ("提示：无效的页面字符集！").
//  5. At least one document.
//  6. PrefixesUnique ("提示：有多个文档的生成文件名前缀相同！").
//  7. Every record, with the record's position: its Path names an existing
//     .doc/.docx file; its FilenamePre and SpecialFileName lines pass the
//     document dialog's checks, with the dialog's messages, so that a
//     hand-edited project file cannot write outside the output folder; its
//     list choices and flags pass CheckRecordValues.
//  8. The site-wide values pass CheckSettingValues (PageTopLogo included).
// Whatever the build would refuse later is refused here, before anything is
// written.
// `data_folder` ends with "/"; the one-argument form uses
// support::DataFolder().
std::optional<ValidationFailure> ValidateBuild(ProjectSettings& settings);
std::optional<ValidationFailure> ValidateBuild(ProjectSettings& settings,
                                               const std::string& data_folder);

// The document settings dialog's entries that OK checks.
struct DocumentEntries {
  std::string Path;
  std::string FilenamePre;
  std::string SpecialFileNameText;  // the edit box's text, lines separated by CR LF

  bool operator==(const DocumentEntries&) const = default;
};

struct DocumentEntriesCheck {
  // The entries as the dialog shows them afterwards: the fields checked so far
  // trimmed of spaces; after success the special names are the trimmed,
  // non-empty lines joined by CR LF.
  DocumentEntries entries;
  std::optional<ValidationFailure> failure;

  bool ok() const { return !failure.has_value(); }
};

// The OK command's checks, in order: the path names an existing .doc/.docx
// file (focus txtPath); the prefix is letters and digits, at most 64 (focus
// txtFilenamePre) and none of default/left/top (focus txtFilenamePre); every
// non-empty special-name line is keyword|file-name (no focus). Line breaks in
// the special names may be CR LF, LF or CR.
DocumentEntriesCheck CheckDocumentEntries(DocumentEntries entries);

// The stored values a build reads as numbers: every list choice
// (NumberlistRule, FileNameRule, ParseLevel, ExpandLevel, HeadTitleMode,
// MetaKeyMode, MetaDescMode, OptimizeMode) within its list and every flag
// "0" or "1". The message names the document, the field and the value.
std::optional<std::string> CheckRecordValues(const DocumentRecord& record);

// The site-wide values the same way: FileEncode "0" or "1", the flags
// PageNav and Copyright "0" or "1".
std::optional<std::string> CheckSettingValues(const ProjectSettings& settings);

// PageTopLogo, when it names an existing file: that file must be a PNG,
// JPEG, GIF, SVG or WebP picture by its content.
std::optional<std::string> CheckLogoFile(const std::string& path);

// The prefix checks alone: the message of the first failing one.
std::optional<std::string> CheckFilenamePre(std::string_view prefix);

// The special-name check of one stored Multi-line value: the message naming
// the first bad line. Lines are trimmed and empty ones skipped first.
std::optional<std::string> CheckSpecialFileName(std::string_view stored);

}  // namespace tessarine::project
