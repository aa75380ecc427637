#include "project/project_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "project/validation.h"
#include "support/files.h"

namespace tessarine::project {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using support::Status;

constexpr std::string_view kFormatName = "tessarine-project";
// Far above any real project; keeps a wrong file from being read into memory.
constexpr off_t kMaxProjectFileSize = 64 << 20;

std::string Quoted(std::string_view path) {
  return "“" + std::string(path) + "”";
}

std::string SystemError(int error) {
  return std::strerror(error);
}

// The absolute, lexically normal form of a path; the path itself when the
// current folder cannot be read.
fs::path AbsolutePath(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) return fs::path(path).lexically_normal();
  return absolute.lexically_normal();
}

// Reads the whole file or explains why it could not.
support::Result<std::string> ReadWholeFile(const std::string& path) {
  const auto failed = [&](const std::string& reason) {
    return Status::Error(support::StatusCode::kIoFailed,
                         "无法读取项目文件" + Quoted(path) + "：" + reason);
  };
  // O_NONBLOCK: a FIFO given by mistake must not hang the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return failed(SystemError(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return failed(SystemError(error));
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return failed(S_ISDIR(info.st_mode) ? SystemError(EISDIR) : std::string("不是普通文件"));
  }
  if (info.st_size > kMaxProjectFileSize) {
    ::close(fd);
    return failed("文件过大");
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      return failed(SystemError(error));
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
    if (bytes.size() > static_cast<size_t>(kMaxProjectFileSize)) {
      ::close(fd);
      return failed("文件过大");
    }
  }
  ::close(fd);
  return bytes;
}

// Copies the string `key` of `object` into *target; the message of what is
// wrong otherwise. `where` names the object for the message.
std::optional<std::string> TakeString(const Json& object, std::string_view key,
                                      const std::string& where, std::string* target) {
  const auto it = object.find(std::string(key));
  if (it == object.end()) return where + "缺少 \"" + std::string(key) + "\"";
  if (!it->is_string()) return where + "的 \"" + std::string(key) + "\" 不是文本";
  *target = it->get<std::string>();
  return std::nullopt;
}

// Record fields and settings added after the first version of the format: a
// file written before them lacks the key and gets the default ("1" for both),
// which keeps what those files built before and gives their sites search.
bool AddedLater(std::string_view key) {
  return key == "OutlineHeadings" || key == "SiteSearch";
}

// A relative document (or logo) path in a project file is relative to its
// folder.
std::string ResolveDocumentPath(const std::string& stored, const fs::path& folder) {
  if (stored.empty()) return stored;
  const fs::path path(support::NormalizePath(stored));
  if (path.is_absolute()) return stored;
  return (folder / path).lexically_normal().string();
}

// A document inside the project's folder is stored relative to it so that the
// folder can move; a relative path in memory is taken from the current folder
// first, as the program itself would read it.
std::string StoredDocumentPath(const std::string& path, const fs::path& folder) {
  if (path.empty()) return path;
  const fs::path absolute = AbsolutePath(support::NormalizePath(path));
  const fs::path relative = absolute.lexically_relative(folder);
  if (relative.empty() || relative == "." || *relative.begin() == "..") {
    return fs::path(path).is_absolute() ? path : absolute.string();
  }
  return relative.generic_string();
}

// The whole project as JSON text, or the reason it cannot be written.
support::Result<std::string> ProjectText(const ProjectSettings& settings, const fs::path& folder) {
  Json root = Json::object();
  root["format"] = std::string(kFormatName);
  root["version"] = kProjectFileVersion;
  Json stored_settings = Json::object();
  for (const SettingField& field : kSettingFields) {
    stored_settings[std::string(field.name)] = settings.*field.member;
  }
  // The logo is a file beside the documents: it moves with the project too.
  stored_settings["PageTopLogo"] = StoredDocumentPath(settings.PageTopLogo, folder);
  root["settings"] = std::move(stored_settings);
  Json documents = Json::array();
  for (const DocumentRecord& record : settings.Documents) {
    Json stored = Json::object();
    for (const DocumentField& field : kDocumentFields) {
      stored[std::string(field.name)] = record.*field.member;
    }
    stored["Path"] = StoredDocumentPath(record.Path, folder);
    documents.push_back(std::move(stored));
  }
  root["documents"] = std::move(documents);
  root["DocCounter"] = settings.DocCounter;
  try {
    return root.dump(2, ' ', /*ensure_ascii=*/false) + "\n";
  } catch (const nlohmann::json::exception&) {
    // The only failure of dump: text that is not UTF-8, which JSON cannot hold.
    return Status::Error(support::StatusCode::kInvalidInput, "含有不是有效 UTF-8 的文本");
  }
}

// Writes the bytes to a temporary file, makes them durable and renames the
// file over the target: readers see the old file or the new one, never half.
Status ReplaceFileAtomically(const fs::path& target, std::string_view bytes) {
  support::ReplacementFile file(target.string());
  if (!file.Write(bytes) || ::fsync(file.fd()) != 0)
    return Status::Error(support::StatusCode::kIoFailed, SystemError(errno));
  if (!file.Commit().ok()) return Status::Error(support::StatusCode::kIoFailed, SystemError(errno));
  // The rename itself is durable once the folder is synced; a folder that
  // cannot be opened for that still holds the complete new file.
  const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return Status::Ok();
}

}  // namespace

Status LoadProject(const std::string& path, ProjectSettings& settings) {
  support::Result<std::string> bytes = ReadWholeFile(path);
  if (!bytes.ok()) return bytes.status();

  const auto invalid = [&](const std::string& detail) {
    return Status::Error(support::StatusCode::kInvalidInput,
                         "项目文件" + Quoted(path) + "无效：" + detail);
  };
  Json root;
  try {
    root = Json::parse(*bytes);
  } catch (const nlohmann::json::parse_error& error) {
    return Status::Error(support::StatusCode::kInvalidInput,
                         "项目文件" + Quoted(path) + "已损坏：不是有效的 JSON（第 " +
                             std::to_string(error.byte) + " 字节处）");
  }
  const auto format = root.is_object() ? root.find("format") : root.end();
  if (!root.is_object() || format == root.end() || !format->is_string() ||
      format->get<std::string>() != kFormatName) {
    return Status::Error(support::StatusCode::kInvalidInput,
                         Quoted(path) + "不是 Tessarine 项目文件");
  }
  const auto version = root.find("version");
  if (version == root.end()) return invalid("缺少格式版本 \"version\"");
  if (!version->is_number_integer()) {
    return invalid("格式版本 \"version\" 的类型不对（应为整数）");
  }
  if (version->is_number_unsigned() ? version->get<uint64_t>() > kProjectFileVersion
                                    : version->get<int64_t>() > kProjectFileVersion) {
    return Status::Error(support::StatusCode::kInvalidInput,
                         "项目文件" + Quoted(path) + "的格式版本为 " + version->dump() +
                             "，本程序只能打开版本 " + std::to_string(kProjectFileVersion) +
                             " 及以下的项目文件，请使用更新版本的 Tessarine");
  }
  if (version->get<int64_t>() < 1) return invalid("未知的格式版本 " + version->dump());

  // Everything goes into a fresh project first; the caller's settings change
  // only once the whole file has been read.
  ProjectSettings loaded;
  const fs::path file = AbsolutePath(path);
  const fs::path folder = file.parent_path();

  const auto stored_settings = root.find("settings");
  if (stored_settings == root.end()) return invalid("缺少设置 \"settings\"");
  if (!stored_settings->is_object()) {
    return invalid("设置 \"settings\" 的类型不对（应为对象）");
  }
  for (const SettingField& field : kSettingFields) {
    if (AddedLater(field.name) && !stored_settings->contains(field.name)) continue;
    if (auto problem =
            TakeString(*stored_settings, field.name, "settings ", &(loaded.*field.member))) {
      return invalid(*problem);
    }
  }
  loaded.PageTopLogo = ResolveDocumentPath(loaded.PageTopLogo, folder);

  if (auto problem = CheckSettingValues(loaded)) return invalid(*problem);

  const auto documents = root.find("documents");
  if (documents == root.end()) return invalid("缺少文档列表 \"documents\"");
  if (!documents->is_array()) {
    return invalid("文档列表 \"documents\" 的类型不对（应为数组）");
  }
  for (size_t i = 0; i < documents->size(); ++i) {
    const Json& stored = (*documents)[i];
    const std::string where = "documents 第 " + std::to_string(i + 1) + " 项";
    if (!stored.is_object()) return invalid(where + "不是对象");
    DocumentRecord record;
    for (const DocumentField& field : kDocumentFields) {
      if (AddedLater(field.name) && !stored.contains(field.name)) continue;
      if (auto problem = TakeString(stored, field.name, where, &(record.*field.member))) {
        return invalid(*problem);
      }
    }
    // A value the build would refuse stays out of the project.
    if (auto problem = CheckRecordValues(record)) return invalid(*problem);
    record.Path = ResolveDocumentPath(record.Path, folder);
    loaded.Documents.push_back(std::move(record));
  }

  const auto counter = root.find("DocCounter");
  if (counter == root.end() || !counter->is_number_integer() || counter->get<int64_t>() < 0 ||
      counter->get<int64_t>() > INT_MAX) {
    return invalid("缺少文档计数 \"DocCounter\" 或其值不是 0 以上的整数");
  }

  loaded.DocCounter = std::max(settings.DocCounter, counter->get<int>());
  loaded.ProjectFile = file.string();
  loaded.ProjectModified = false;
  settings = std::move(loaded);
  return Status::Ok();
}

Status SaveProject(const std::string& path, ProjectSettings& settings) {
  const auto failed = [&](const std::string& reason) {
    return Status::Error(support::StatusCode::kIoFailed,
                         "无法保存项目文件" + Quoted(path) + "：" + reason);
  };
  const fs::path file = AbsolutePath(path);
  if (file.filename().empty()) return failed(SystemError(EISDIR));
  support::Result<std::string> text = ProjectText(settings, file.parent_path());
  if (!text.ok()) return failed(text.message());
  if (Status written = ReplaceFileAtomically(file, *text); !written.ok()) {
    return failed(written.message());
  }
  settings.ProjectFile = file.string();
  settings.ProjectModified = false;
  return Status::Ok();
}

}  // namespace tessarine::project
