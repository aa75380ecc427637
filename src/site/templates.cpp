#include "site/templates.h"

#include <cctype>

#include "support/files.h"
#include "support/regex.h"
#include "support/text_file.h"

namespace tessarine::site {
namespace {

using support::Result;
using support::Status;

constexpr std::string_view kTemplatesFolder = "template/";
constexpr std::string_view kPageTemplateFile = "main.htm";

// An optional block, built around the list of block names: the begin marker
// "<!--", spaces, "Begin:NAME", spaces, "-->", at least one character of
// content, then the first end marker of the same name. Group 1 is the name,
// group 2 the content.
constexpr std::string_view kBlockPatternHead = R"(<\!\-\- *?Begin:()";
constexpr std::string_view kBlockPatternTail = R"() *?\-\->(([^a]|a)+?)<\!\-\- *?End:\1 *?\-\->)";

// A placeholder, built around the list of names: the name in braces, nothing
// else inside. Group 1 is the name.
constexpr std::string_view kPlaceholderPatternHead = R"(\{()";
constexpr std::string_view kPlaceholderPatternTail = R"()\})";

// The project's PageNav and Copyright switches drop their block only when off.
constexpr std::string_view kSwitchOff = "0";
constexpr std::string_view kNavBlock = "nav";
constexpr std::string_view kCopyrightBlock = "copyright";

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Pattern(std::string_view head, std::string_view names, std::string_view tail) {
  std::string pattern(head);
  pattern += names;
  pattern += tail;
  return pattern;
}

// Page file names come from the prefix and the special names checked before
// the build, but a page must never land outside the output folder whatever
// the table holds.
bool IsBareFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

}  // namespace

std::string TemplateFolder(std::string_view template_name) {
  std::string folder = support::DataFolder();
  folder += kTemplatesFolder;
  folder += template_name;
  folder += '/';
  return folder;
}

Result<std::string> ApplyTemplateBlocks(const std::string& template_folder,
                                        std::string_view page_nav, std::string_view copyright) {
  const std::string path = template_folder + std::string(kPageTemplateFile);
  if (!support::FileExists(path)) {
    return Status::Error(support::StatusCode::kIoFailed,
                         "cannot read " + path + ": the template has no such file");
  }
  return ResolveTemplateBlocks(support::ReadTextFile(path), page_nav, copyright);
}

Result<std::string> ResolveTemplateBlocks(std::string_view page_template, std::string_view page_nav,
                                          std::string_view copyright) {
  const std::string pattern = Pattern(kBlockPatternHead, kTemplateBlockNames, kBlockPatternTail);
  std::string skeleton;
  size_t copied_to = 0;
  support::RegexMatcher blocks(pattern, page_template);
  while (blocks.Next()) {
    const support::RegexMatch& block = blocks.match();
    skeleton.append(page_template.substr(copied_to, block.offset - copied_to));
    copied_to = block.offset + block.value.size();

    const std::string name = AsciiLower(block.Group(0));
    const bool dropped = (name == kNavBlock && page_nav == kSwitchOff) ||
                         (name == kCopyrightBlock && copyright == kSwitchOff);
    if (!dropped) skeleton.append(block.Group(1));
  }
  if (!blocks.status()) return blocks.status();
  skeleton.append(page_template.substr(copied_to));
  return skeleton;
}

Result<std::string> FillPlaceholders(std::string_view template_text, std::string_view names,
                                     const PlaceholderMap& values) {
  const std::string pattern = Pattern(kPlaceholderPatternHead, names, kPlaceholderPatternTail);
  // Room for every value once, taken at once: a page of tens of megabytes
  // grown by doubling would hold half its size again while it is copied.
  size_t room = template_text.size();
  for (const auto& entry : values) room += entry.second.size();
  std::string filled;
  filled.reserve(room);
  size_t copied_to = 0;
  support::RegexMatcher placeholders(pattern, template_text);
  while (placeholders.Next()) {
    const support::RegexMatch& placeholder = placeholders.match();
    filled.append(template_text.substr(copied_to, placeholder.offset - copied_to));
    copied_to = placeholder.offset + placeholder.value.size();

    const auto value = values.find(AsciiLower(placeholder.Group(0)));
    if (value != values.end()) filled.append(value->second);
  }
  if (!placeholders.status()) return placeholders.status();
  filled.append(template_text.substr(copied_to));
  return filled;
}

Status WriteContentPage(std::string_view page_skeleton, const PlaceholderMap& values,
                        const std::string& output_dir, std::string_view page_file,
                        std::string_view file_encode) {
  Result<ContentPageFile> page =
      ContentPageBytes(page_skeleton, values, output_dir, page_file, file_encode);
  if (!page) return page.status();
  return WriteContentPageFile(*page);
}

Status WriteContentPageFile(const ContentPageFile& page) {
  if (page.bytes.empty()) return support::WriteTextFile(page.path, page.text, page.file_encode);
  return support::WriteFileBytes(page.path, page.bytes);
}

Result<ContentPageFile> ContentPageBytes(std::string_view page_skeleton,
                                         const PlaceholderMap& values,
                                         const std::string& output_dir, std::string_view page_file,
                                         std::string_view file_encode) {
  std::string path = output_dir;
  if (!path.empty() && path.back() != '/') path += '/';
  path += page_file;
  if (!IsBareFileName(page_file)) {
    return Status::Error(support::StatusCode::kInvalidInput,
                         "cannot write " + path + ": not a file name inside the output folder");
  }
  Result<std::string> filled = FillPlaceholders(page_skeleton, kPagePlaceholderNames, values);
  if (!filled) return filled.status();
  // A page of many megabytes (one list, one table) is encoded piece by
  // piece as it is written, so that it is never held twice.
  constexpr size_t kEncodedAheadBytes = 1u << 20;
  if (filled->size() > kEncodedAheadBytes) {
    return ContentPageFile{std::move(path), {}, std::move(*filled), std::string(file_encode)};
  }
  Result<std::string> bytes = support::TextFileBytes(path, *filled, file_encode);
  if (!bytes) return bytes.status();
  return ContentPageFile{std::move(path), std::move(*bytes), {}, std::string(file_encode)};
}

}  // namespace tessarine::site
