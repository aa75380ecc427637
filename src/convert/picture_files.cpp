#include "convert/picture_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "convert/docx_package.h"
#include "support/files.h"

namespace tessarine::convert {

namespace {

// The extension a part's name or content type suggests, as Word spells it
// in the companion folder ("jpg", "tif"); "bin" when neither tells.
std::string GuessedExtension(std::string_view part_name, std::string_view content_type) {
  const size_t slash = part_name.rfind('/');
  const size_t dot = part_name.rfind('.');
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    std::string extension;
    for (char c : part_name.substr(dot + 1)) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
        extension.clear();
        break;
      }
      extension += c;
    }
    if (extension == "jpeg" || extension == "jpe" || extension == "jfif") return "jpg";
    if (extension == "tiff") return "tif";
    if (!extension.empty() && extension.size() <= 5) return extension;
  }
  static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
      {"image/png", "png"},     {"image/jpeg", "jpg"},  {"image/gif", "gif"},
      {"image/bmp", "bmp"},     {"image/x-emf", "emf"}, {"image/emf", "emf"},
      {"image/x-wmf", "wmf"},   {"image/wmf", "wmf"},   {"image/tiff", "tif"},
      {"image/svg+xml", "svg"}, {"image/webp", "webp"},
  };
  for (const auto& [type, extension] : kTypes) {
    if (content_type == type) return std::string(extension);
  }
  return "bin";
}

}  // namespace

PictureFiles::PictureFiles(const DocxPackage& package, std::string folder,
                           std::vector<std::string>* diagnostics)
    : package_(package),
      folder_(std::move(folder)),
      diagnostics_(diagnostics),
      budget_(std::max<std::uint64_t>(std::uint64_t{256} << 20, package.package_size() * 100)) {}

PictureFiles::PictureFiles(const DocxPackage& package, CompanionFiles& held,
                           std::vector<std::string>* diagnostics)
    : PictureFiles(package, std::string(), diagnostics) {
  held_ = &held;
}

void PictureFiles::OverBudget(std::uint64_t bytes) {
  status_ = support::Status::Error(
      support::StatusCode::kResourceLimit,
      "the pictures would come to " + std::to_string(bytes >> 20) + " MiB, more than the " +
          std::to_string(budget_ >> 20) + " MiB a package of " +
          std::to_string(package_.package_size() >> 10) +
          " KiB may write (its parts inflate to far more than it holds)");
}

void PictureFiles::Diagnose(std::string message) {
  if (diagnostics_ != nullptr) diagnostics_->push_back(std::move(message));
}

std::uint64_t PictureFiles::StatedSize(const DocxPackage& package,
                                       const std::vector<std::string>& source_parts) {
  std::set<std::string> targets;
  for (const std::string& source : source_parts) {
    for (const Relationship& rel : package.Relationships(source)) {
      if (!rel.external && rel.type == kRelImage) targets.insert(rel.target);
    }
  }
  std::uint64_t stated = 0;
  for (const std::string& target : targets) stated += package.StatedPartSize(target);
  return stated;
}

void PictureFiles::PrepareWebCopies(const std::vector<std::string>& source_parts,
                                    const Converter& converter) {
  if (Writes() && status_.ok()) {
    // What the pictures will come to, as the zip directory states it, before
    // anything is written.
    const std::uint64_t stated = StatedSize(package_, source_parts);
    if (stated > budget_) OverBudget(stated);
  }
  if (!Writes() || !converter) return;
  // Only the relationship list is looked at for the common case of pictures
  // that are all web formats already.
  std::set<std::string> candidates;
  for (const std::string& source : source_parts) {
    for (const Relationship& rel : package_.Relationships(source)) {
      if (rel.external || rel.type != kRelImage) continue;
      if (IsWebPictureFormat(GuessedExtension(rel.target, package_.content_types().Of(rel.target))))
        continue;
      if (package_.HasPart(rel.target)) candidates.insert(rel.target);
    }
  }
  if (candidates.empty()) return;

  std::vector<PictureToConvert> pictures;
  for (const std::string& part : candidates) {
    support::Result<std::string> bytes = package_.BinaryPart(part);
    if (!bytes) continue;  // Use() reports it when the document shows the picture
    std::string extension = SniffPictureFormat(*bytes);
    if (IsWebPictureFormat(extension)) continue;  // misnamed, but a browser shows it
    if (extension.empty()) extension = GuessedExtension(part, package_.content_types().Of(part));
    pictures.push_back({part, std::move(bytes).value(), extension});
  }
  if (pictures.empty()) return;
  ConvertedPictures converted = converter(pictures);
  // Only the copies wait for their use; the originals are read again then,
  // so a document full of large metafiles is not held twice.
  for (PictureToConvert& picture : pictures) {
    Prepared& prepared = prepared_[picture.key];
    prepared.extension = picture.extension;
    if (auto png = converted.png.find(picture.key); png != converted.png.end()) {
      prepared.png = std::move(png->second);
    }
  }
  if (!converted.problem.empty()) {
    Diagnose("Pictures that browsers cannot show (EMF, WMF, TIFF) have no PNG copy: " +
             converted.problem + "; the web page shows their original files.");
  }
}

const PictureFiles::Files* PictureFiles::Use(const std::string& part_name) {
  if (auto known = files_.find(part_name); known != files_.end()) {
    return known->second ? &*known->second : nullptr;
  }
  std::optional<Files>& files = files_[part_name];
  if (!package_.HasPart(part_name)) {
    Diagnose("A picture whose part " + part_name + " is missing from the package was left out.");
    return nullptr;
  }
  if (!Writes()) {
    // Names only: the name says what the file would be.
    const std::string extension =
        GuessedExtension(part_name, package_.content_types().Of(part_name));
    files = Files{NextName(extension), {}};
    files->web = files->original;
    return &*files;
  }
  if (!status_.ok()) return nullptr;  // the document fails; no need to read more
  support::Result<std::string> bytes = package_.BinaryPart(part_name);
  if (!bytes) {
    Diagnose("A picture was left out: " + bytes.message());
    return nullptr;
  }
  std::string original = std::move(bytes).value();
  std::string extension, png;
  if (auto prepared = prepared_.find(part_name); prepared != prepared_.end()) {
    extension = std::move(prepared->second.extension);
    png = std::move(prepared->second.png);
    prepared_.erase(prepared);
  } else {
    extension = SniffPictureFormat(original);
    if (extension.empty()) {
      extension = GuessedExtension(part_name, package_.content_types().Of(part_name));
    }
  }
  files = Files{NextName(extension), {}};
  Write(files->original, std::move(original));
  if (!png.empty()) {
    files->web = NextName("png");
    Write(files->web, std::move(png));
  } else {
    files->web = files->original;
  }
  return &*files;
}

const PictureFiles::Files* PictureFiles::UseMade(
    const std::string& part_name, const std::string& extension,
    const std::function<std::optional<std::string>()>& make) {
  if (auto known = files_.find(part_name); known != files_.end()) {
    return known->second ? &*known->second : nullptr;
  }
  std::optional<Files>& files = files_[part_name];
  std::optional<std::string> bytes = make();
  if (!bytes) return nullptr;
  files = Files{NextName(extension), {}};
  files->web = files->original;
  if (!Writes()) return &*files;
  Write(files->original, std::move(*bytes));
  return &*files;
}

std::string PictureFiles::NextShapeId(bool floating) {
  int& count = floating ? floating_shapes_ : inline_shapes_;
  return (floating ? "_x0000_s" : "_x0000_i") + std::to_string(1025 + count++);
}

std::string PictureFiles::NextName(const std::string& extension) {
  char number[16];
  std::snprintf(number, sizeof number, "%03d", ++counter_);
  return "image" + std::string(number) + "." + extension;
}

void PictureFiles::Write(const std::string& name, std::string bytes) {
  names_.push_back(name);
  if (!status_.ok()) return;  // the first failure is the one reported
  if (written_ + bytes.size() > budget_) {
    OverBudget(written_ + bytes.size());
    return;
  }
  written_ += bytes.size();
  if (held_ != nullptr) {
    held_->Add(name, std::move(bytes));
    return;
  }
  const std::string path = (std::filesystem::path(folder_) / name).string();
  support::ReplacementFile file(path);
  if (!file.Write(bytes)) {
    status_ = support::Status::Error(support::StatusCode::kIoFailed,
                                     "cannot write " + path + ": " + std::strerror(errno));
  } else {
    status_ = file.Commit();
  }
}

}  // namespace tessarine::convert
