#include "project/validation.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <utility>

#include "support/files.h"
#include "support/regex.h"

namespace tessarine::project {
namespace {

constexpr std::string_view kInvalidTemplate = "提示：无效的模板！";
constexpr std::string_view kInvalidCharset = "提示：无效的页面字符集！";
constexpr std::string_view kDuplicatePrefixes = "提示：有多个文档的生成文件名前缀相同！";
constexpr std::string_view kInvalidWordFile = "无效的 Word 文件，请检查指定路径下的文件是否存在！";
constexpr std::string_view kInvalidPrefix = "无效的文件名前缀，不能为空，只允许英文字母和数字！";
constexpr std::string_view kReservedPrefix =
    "无效的文件名前缀，不能为以下关键字：\r\ndefault, left, top";
constexpr std::string_view kInvalidSpecialName = "无效的文件名特例设置：\r\n";
// The build's own words for a document it cannot find.
constexpr std::string_view kMissingDocument = "无效的 Word 文档：";
constexpr std::string_view kLongPrefix = "无效的文件名前缀，最多 64 个字符！";
constexpr std::string_view kInvalidLogo =
    "提示：无效的网页顶部 Logo 图片，只能是 PNG、JPEG、GIF、SVG 或 WebP 图片：\r\n";

// Longer prefixes would make page names ("<prefix>.1.2.3.htm") too long for
// the file system.
constexpr size_t kMaxPrefixLength = 64;

// Anything but letters and digits in a file-name prefix.
constexpr std::string_view kPrefixForbiddenPattern = "[^a-z0-9]+";
// keyword|file-name: text without a bar, one bar, then a file name of ASCII
// letters, digits, "_", "-" and ".".
constexpr std::string_view kSpecialNamePattern = R"(^[^\|]+\|[a-z0-9_\-\.]{1,128}$)";
// Prefixes that would overwrite the frameset pages default, left and top.
constexpr std::string_view kReservedPrefixes = "|default|left|top|";

constexpr std::string_view kDocumentExtensions = "doc|docx";

std::string TrimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Splits at CR LF, LF or CR, so a text box of any platform splits the same.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string_view> SplitStored(std::string_view stored) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t hit = 0; (hit = stored.find(kLineSeparator, start)) != std::string_view::npos;
       start = hit + kLineSeparator.size()) {
    lines.push_back(stored.substr(start, hit - start));
  }
  lines.push_back(stored.substr(start));
  return lines;
}

// The special-name check over lines already split; trims every line and
// collects the non-empty ones into *kept.
std::optional<std::string> CheckSpecialLines(const std::vector<std::string_view>& lines,
                                             std::vector<std::string>* kept) {
  for (std::string_view raw : lines) {
    std::string line = TrimSpaces(raw);
    if (line.empty()) continue;
    const support::Result<bool> matches = support::RegexpTest(kSpecialNamePattern, line);
    if (!matches.ok()) return matches.message();
    if (!*matches) return std::string(kInvalidSpecialName) + line;
    kept->push_back(std::move(line));
  }
  return std::nullopt;
}

ValidationFailure Failure(std::string_view message, FocusControl focus = FocusControl::kNone,
                          int document = 0) {
  return ValidationFailure{std::string(message), focus, document};
}

bool IsSingleFolderName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

// A list choice: the decimal text of 0 to `last`; a flag is a choice of 0 or 1.
bool IsChoice(std::string_view value, int last) {
  return value.size() == 1 && value[0] >= '0' && value[0] <= '0' + last;
}

std::optional<std::string> BadValue(std::string_view owner, std::string_view field,
                                    std::string_view value, int last) {
  return std::string(owner) + "的设置 " + std::string(field) + " 无效：\"" + std::string(value) +
         "\"，只能是 0 到 " + std::to_string(last) + " 的数字！";
}

}  // namespace

std::string_view ControlName(FocusControl control) {
  switch (control) {
    case FocusControl::kNone:
      return {};
    case FocusControl::kTxtOutputDir:
      return "txtOutputDir";
    case FocusControl::kTxtFileExt:
      return "txtFileExt";
    case FocusControl::kTxtPath:
      return "txtPath";
    case FocusControl::kTxtFilenamePre:
      return "txtFilenamePre";
  }
  return {};
}

bool PrefixesUnique(const DocumentList& documents) {
  for (size_t i = 0; i < documents.size(); ++i) {
    const std::string prefix = AsciiLower(documents[i].FilenamePre);
    for (size_t j = i + 1; j < documents.size(); ++j) {
      if (AsciiLower(documents[j].FilenamePre) == prefix) return false;
    }
  }
  return true;
}

std::optional<std::string> CheckFilenamePre(std::string_view prefix) {
  if (prefix.empty()) return std::string(kInvalidPrefix);
  const support::Result<bool> forbidden = support::RegexpTest(kPrefixForbiddenPattern, prefix);
  if (!forbidden.ok()) return forbidden.message();
  if (*forbidden) return std::string(kInvalidPrefix);
  if (prefix.size() > kMaxPrefixLength) return std::string(kLongPrefix);
  std::string needle = "|";
  needle += AsciiLower(prefix);
  needle += '|';
  if (kReservedPrefixes.find(needle) != std::string_view::npos) {
    return std::string(kReservedPrefix);
  }
  return std::nullopt;
}

std::optional<std::string> CheckSpecialFileName(std::string_view stored) {
  std::vector<std::string> kept;
  return CheckSpecialLines(SplitStored(stored), &kept);
}

std::optional<std::string> CheckRecordValues(const DocumentRecord& record) {
  struct Choice {
    std::string_view name;
    const std::string DocumentRecord::*member;
    int last;
  };
  static constexpr Choice kChoices[] = {
      {"NumberlistRule", &DocumentRecord::NumberlistRule, 2},
      {"FileNameRule", &DocumentRecord::FileNameRule, 1},
      {"ParseLevel", &DocumentRecord::ParseLevel, 8},
      {"ExpandLevel", &DocumentRecord::ExpandLevel, 9},
      {"HeadTitleMode", &DocumentRecord::HeadTitleMode, 1},
      {"MetaKeyMode", &DocumentRecord::MetaKeyMode, 2},
      {"MetaDescMode", &DocumentRecord::MetaDescMode, 2},
      {"OptimizeMode", &DocumentRecord::OptimizeMode, 2},
  };
  static constexpr std::string_view kFlags[] = {
      "Header",       "Footer",     "HFHome",     "Toc",          "Relative",      "Opt1VML",
      "Opt1Absolute", "Opt1EQ",     "Opt1Margin", "Opt1Space",    "Opt2Image",     "Opt2Table",
      "Opt2EQ",       "Opt2Indent", "Opt2PtoBR",  "OptPageWidth", "OptPageMargin", "OptPageEffect"};
  const std::string owner = "文档“" + support::FileNameOfPath(record.Path) + "”";
  for (const Choice& choice : kChoices) {
    const std::string& value = record.*choice.member;
    if (!IsChoice(value, choice.last)) return BadValue(owner, choice.name, value, choice.last);
  }
  for (const DocumentField& field : kDocumentFields) {
    if (std::find(std::begin(kFlags), std::end(kFlags), field.name) == std::end(kFlags)) continue;
    const std::string& value = record.*field.member;
    if (!IsChoice(value, 1)) return BadValue(owner, field.name, value, 1);
  }
  return std::nullopt;
}

std::optional<std::string> CheckSettingValues(const ProjectSettings& settings) {
  static constexpr std::pair<std::string_view, std::string ProjectSettings::*> kFlags[] = {
      {"FileEncode", &ProjectSettings::FileEncode},
      {"PageNav", &ProjectSettings::PageNav},
      {"Copyright", &ProjectSettings::Copyright},
  };
  for (const auto& [name, member] : kFlags) {
    if (!IsChoice(settings.*member, 1)) return BadValue("项目", name, settings.*member, 1);
  }
  return std::nullopt;
}

std::optional<std::string> CheckLogoFile(const std::string& path) {
  if (path.empty() || !support::FileExists(path)) return std::nullopt;
  if (support::PictureExtension(path).empty()) return std::string(kInvalidLogo) + path;
  return std::nullopt;
}

std::optional<ValidationFailure> ValidateBuild(ProjectSettings& settings) {
  return ValidateBuild(settings, support::DataFolder());
}

std::optional<ValidationFailure> ValidateBuild(ProjectSettings& settings,
                                               const std::string& data_folder) {
  // An empty folder would otherwise become "/" and put the site into the
  // root folder.
  if (settings.OutputDir.empty()) return Failure(kInvalidOutputDir, FocusControl::kTxtOutputDir);
  settings.OutputDir = support::NormalizePath(settings.OutputDir);
  if (settings.OutputDir.back() != '/') settings.OutputDir += '/';
  if (!support::FolderExists(settings.OutputDir)) {
    return Failure(kInvalidOutputDir, FocusControl::kTxtOutputDir);
  }

  settings.FileExt = TrimSpaces(settings.FileExt);
  const support::Result<bool> ext_ok = support::RegexpTest(kFileExtPattern, settings.FileExt);
  if (!ext_ok.ok()) return Failure(ext_ok.message(), FocusControl::kTxtFileExt);
  if (!*ext_ok) return Failure(kInvalidFileExt, FocusControl::kTxtFileExt);

  // The template name becomes part of a path: one folder name only, so that
  // it cannot reach outside template/.
  if (!IsSingleFolderName(settings.Template) ||
      !support::FolderExists(data_folder + "template/" + settings.Template + "/")) {
    return Failure(kInvalidTemplate);
  }

  if (settings.Charset.empty()) return Failure(kInvalidCharset);
  if (settings.Documents.empty()) return Failure(kNoDocuments);
  if (!PrefixesUnique(settings.Documents)) return Failure(kDuplicatePrefixes);

  // Prefixes and special names become file names; a hand-edited project file
  // must not get past the dialog's rules.
  for (size_t i = 0; i < settings.Documents.size(); ++i) {
    const DocumentRecord& record = settings.Documents[i];
    const int position = static_cast<int>(i) + 1;
    if (!support::IsDocumentFile(record.Path, kDocumentExtensions)) {
      return Failure(std::string(kMissingDocument) + "\r\n" + record.Path, FocusControl::kNone,
                     position);
    }
    if (auto message = CheckFilenamePre(record.FilenamePre)) {
      return Failure(*message, FocusControl::kNone, position);
    }
    if (auto message = CheckSpecialFileName(record.SpecialFileName)) {
      return Failure(*message, FocusControl::kNone, position);
    }
    if (auto message = CheckRecordValues(record)) {
      return Failure(*message, FocusControl::kNone, position);
    }
  }
  if (auto message = CheckSettingValues(settings)) return Failure(*message);
  if (auto message = CheckLogoFile(support::NormalizePath(settings.PageTopLogo))) {
    return Failure(*message);
  }
  return std::nullopt;
}

DocumentEntriesCheck CheckDocumentEntries(DocumentEntries entries) {
  DocumentEntriesCheck check;
  DocumentEntries& e = check.entries;
  e = std::move(entries);

  // A "\" typed into the path is read as "/" here, so the value checked is
  // the value stored.
  e.Path = support::NormalizePath(TrimSpaces(e.Path));
  if (!support::IsDocumentFile(e.Path, kDocumentExtensions)) {
    check.failure = Failure(kInvalidWordFile, FocusControl::kTxtPath);
    return check;
  }

  e.FilenamePre = TrimSpaces(e.FilenamePre);
  if (auto message = CheckFilenamePre(e.FilenamePre)) {
    check.failure = Failure(*message, FocusControl::kTxtFilenamePre);
    return check;
  }

  e.SpecialFileNameText = TrimSpaces(e.SpecialFileNameText);
  if (e.SpecialFileNameText.empty()) return check;
  std::vector<std::string> kept;
  if (auto message = CheckSpecialLines(SplitLines(e.SpecialFileNameText), &kept)) {
    check.failure = Failure(*message);
    return check;
  }
  std::string joined;
  for (const std::string& line : kept) {
    if (!joined.empty()) joined += "\r\n";
    joined += line;
  }
  e.SpecialFileNameText = std::move(joined);
  return check;
}

}  // namespace tessarine::project
