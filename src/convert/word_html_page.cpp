#include "convert/word_html_page.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "support/files.h"
#include "support/text_file.h"

namespace tessarine::convert {

namespace fs = std::filesystem;

CompanionFiles CompanionFiles::InFolder(std::string folder) {
  CompanionFiles files;
  files.folder_ = std::move(folder);
  return files;
}

void CompanionFiles::Add(std::string name, std::string bytes) {
  for (CompanionFile& file : files_) {
    if (file.name == name) {
      file.bytes = std::move(bytes);
      return;
    }
  }
  files_.push_back(CompanionFile{std::move(name), std::move(bytes)});
}

const CompanionFile* CompanionFiles::Find(std::string_view name) const {
  const auto found = std::find_if(files_.begin(), files_.end(),
                                  [&](const CompanionFile& file) { return file.name == name; });
  return found == files_.end() ? nullptr : &*found;
}

bool CompanionFiles::Has(std::string_view name) const {
  if (held()) return Find(name) != nullptr;
  std::error_code error;
  return fs::is_regular_file(folder_ + std::string(name), error);
}

std::string CompanionFiles::ReadText(std::string_view name) const {
  if (!held()) return support::ReadTextFile(folder_ + std::string(name));
  const CompanionFile* file = Find(name);
  return file == nullptr ? std::string() : support::DecodeText(file->bytes, support::EncodingAnsi);
}

support::Status CompanionFiles::CopyTo(std::string_view name, const std::string& target) const {
  const CompanionFile* file = held() ? Find(name) : nullptr;
  if (held() ? file == nullptr : !Has(name)) return support::Status::Ok();
  std::error_code error;
  fs::create_directories(fs::path(target).parent_path(), error);
  if (!held()) return support::CopyFileReplacing(folder_ + std::string(name), target);
  support::ReplacementFile copy(target);
  if (!copy.Write(file->bytes)) {
    return support::Status::Error(support::StatusCode::kIoFailed,
                                  "cannot write " + target + ": " + std::strerror(errno));
  }
  return copy.Commit();
}

}  // namespace tessarine::convert
