#include "site/images.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "support/files.h"
#include "support/regex.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;
using support::Result;
using support::Status;

// Both the companion folder of the Word HTML and the resource folder in the
// output are named after the prefix with this suffix.
constexpr std::string_view kFilesFolderSuffix = ".files/";

// A src attribute of any tag whose value runs through "<prefix>.files/" to
// the next double quote. The lazy start may cross other attributes; only the
// part after the last "/" is used, so that does no harm.
constexpr std::string_view kPageImageBefore = R"re(src=\".*?)re";
constexpr std::string_view kPageImageAfter = R"re(\.files/.+?\")re";

// An image whose first attribute is its source, as the VML picture pass of
// the header and footer writes it.
constexpr std::string_view kHeaderFooterImage = R"re(<img src="([^">]*?)")re";
constexpr std::string_view kHeaderFooterImageBefore = "<img src=\"";
constexpr std::string_view kHeaderFooterImageAfter = ".files/$1\"";

std::string FilesFolder(const std::string& parent, std::string_view prefix) {
  return parent + std::string(prefix) + std::string(kFilesFolderSuffix);
}

// A relative path that stays inside the folder it is joined to.
bool StaysInside(std::string_view path) {
  if (path.empty() || path.front() == '/') return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

// A name that starts with "." is hidden, and no picture of a page.
bool Hidden(std::string_view path) {
  return path.substr(path.rfind('/') + 1).starts_with('.');
}

}  // namespace

Status CheckPlainPrefix(std::string_view prefix) {
  const bool plain = !prefix.empty() && std::all_of(prefix.begin(), prefix.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
  if (plain) return Status::Ok();
  return Status::Error(support::StatusCode::kInvalidInput,
                       "invalid file-name prefix \"" + std::string(prefix) +
                           "\": only letters and digits are allowed");
}

Result<std::vector<std::string>> PageImageNames(std::string_view body, std::string_view prefix) {
  if (Status s = CheckPlainPrefix(prefix); !s) return s;
  const std::string pattern =
      std::string(kPageImageBefore) + std::string(prefix) + std::string(kPageImageAfter);
  std::vector<std::string> names;
  support::RegexMatcher sources(pattern, body);
  while (sources.Next()) {
    std::string_view value = sources.match().value;
    value.remove_suffix(1);  // the closing quote
    const std::string_view name = value.substr(value.rfind('/') + 1);
    // "." and ".." would name the companion folder or its parent.
    if (name != "." && name != "..") names.emplace_back(name);
  }
  if (!sources.status()) return sources.status();
  return names;
}

Status CopyNamedPageImages(const std::vector<std::string>& names,
                           const convert::CompanionFiles& files, const std::string& output_dir,
                           std::string_view prefix) {
  if (Status s = CheckPlainPrefix(prefix); !s) return s;
  const std::string resource_folder = FilesFolder(output_dir, prefix);
  std::error_code error;
  fs::create_directories(resource_folder, error);
  if (error || !fs::is_directory(resource_folder, error)) {
    return Status::Error(support::StatusCode::kIoFailed,
                         "cannot create the folder " + resource_folder + ": " +
                             (error ? error.message() : "a file of that name is in the way"));
  }
  std::unordered_set<std::string_view> copied;
  for (const std::string& name : names) {
    if (!copied.insert(name).second) continue;
    // A missing picture is deliberately not reported: the page then shows
    // a missing picture, as Word's own page would.
    if (Status s = files.CopyTo(name, resource_folder + name); !s) return s;
  }
  return Status::Ok();
}

Result<std::string> CopyHeaderFooterImages(std::string_view html,
                                           const convert::CompanionFiles& files,
                                           const std::string& output_dir, std::string_view prefix) {
  if (Status s = CheckPlainPrefix(prefix); !s) return s;

  const std::string resource_folder = FilesFolder(output_dir, prefix);
  support::RegexMatcher images(kHeaderFooterImage, html);
  while (images.Next()) {
    const std::string source(images.match().Group(0));
    if (!StaysInside(source) || Hidden(source) || !files.Has(source)) continue;
    if (Status s = files.CopyTo(source, resource_folder + source); !s) return s;
  }
  if (!images.status()) return images.status();

  return support::RegexpReplace(html, kHeaderFooterImage,
                                std::string(kHeaderFooterImageBefore) + std::string(prefix) +
                                    std::string(kHeaderFooterImageAfter));
}

}  // namespace tessarine::site
