#include "support/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "support/compiler.h"

namespace tessarine::support {
namespace fs = std::filesystem;

namespace {

// Deeper than any template or output tree; stops a copy that follows a
// symbolic link back into its own source.
constexpr int kMaxCopyDepth = 64;

bool IsHiddenName(std::string_view name) {
  return !name.empty() && name.front() == '.';
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) { return AsciiLower(c); });
  return out;
}

std::string_view TrimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return {};
  }
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string WithTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') {
    folder.push_back('/');
  }
  return folder;
}

// "a/b/" names the folder b; lstat would follow a link named with a trailing
// slash, so it is dropped before the entry itself is looked at.
fs::path WithoutTrailingSlashes(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') {
    trimmed.pop_back();
  }
  return fs::path(trimmed);
}

Status CopyFailure(const fs::path& path, const std::error_code& error) {
  return Status::Error("cannot copy " + path.string() + ": " + error.message());
}

Status CreateFailure(const fs::path& path, const std::error_code& error) {
  return Status::Error("cannot create folder " + path.string() + ": " + error.message());
}

Status CopyContents(const fs::path& source, const fs::path& target, int depth) {
  if (depth > kMaxCopyDepth) {
    return Status::Error("cannot copy " + source.string() + ": folders nested too deeply");
  }
  std::error_code error;
  fs::directory_iterator it(source, error);
  if (error) {
    return CopyFailure(source, error);
  }
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    const fs::path& from = it->path();
    const fs::path to = target / from.filename();
    // Links are followed: a template assembled from linked folders copies as
    // the files it shows.
    const fs::file_status status = fs::status(from, error);
    if (error) {
      return CopyFailure(from, error);
    }
    if (fs::is_directory(status)) {
      if (!fs::is_directory(to, error)) {
        fs::create_directory(to, error);
        if (error) {
          return CreateFailure(to, error);
        }
      }
      if (Status copied = CopyContents(from, to, depth + 1); !copied.ok()) {
        return copied;
      }
    } else if (fs::is_regular_file(status)) {
      if (Status copied = CopyFileReplacing(from.string(), to.string()); !copied.ok()) {
        return copied;
      }
    }
    // Sockets, pipes and devices have no place in a site and are passed over.
  }
  if (error) {
    return CopyFailure(source, error);
  }
  return Status::Ok();
}

void DeleteTree(const fs::path& folder) {
  std::error_code error;
  // A folder without write (or search) permission keeps its entries even
  // from its owner; read-only files need nothing, as unlinking a file only
  // asks the folder holding it.
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, error);
  std::vector<fs::directory_entry> entries;
  fs::directory_iterator it(folder, error);
  if (!error) {
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
      entries.push_back(*it);
    }
  }
  for (const fs::directory_entry& entry : entries) {
    // Never follow a link into a folder: only the link goes.
    if (entry.is_directory(error) && !entry.is_symlink(error)) {
      DeleteTree(entry.path());
    } else {
      fs::remove(entry.path(), error);
    }
  }
  fs::remove(folder, error);  // fails, harmlessly, when something stayed
}

// Folder of the running program, from the kernel's link to it.
fs::path ExecutableFolder() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (error) {
    return {};
  }
  return exe.parent_path();
}

bool IsWritableFolder(const std::string& folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string NormalizePath(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

bool FolderExists(const std::string& path) {
  if (path.empty()) {
    return false;
  }
  std::error_code error;
  return fs::exists(fs::path(path), error) && !error;
}

bool FileExists(const std::string& path) {
  const std::string name = FileNameOfPath(path);
  if (name.empty() || IsHiddenName(name)) {
    return false;
  }
  std::error_code error;
  return fs::is_regular_file(fs::path(path), error) && !error;
}

bool HasExtension(std::string_view path, std::string_view extension_list) {
  const std::string name = FileNameOfPath(path);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    return false;
  }
  const std::string extension = AsciiLower(std::string_view(name).substr(dot + 1));
  if (extension.empty()) {
    return false;
  }
  const std::string list = AsciiLower(extension_list);
  std::string_view rest = list;
  for (;;) {
    const size_t bar = rest.find('|');
    const std::string_view item = TrimSpaces(rest.substr(0, bar));
    if (!item.empty() && item == extension) {
      return true;
    }
    if (bar == std::string_view::npos) {
      return false;
    }
    rest.remove_prefix(bar + 1);
  }
}

bool IsDocumentFile(const std::string& path, std::string_view extension_list) {
  return HasExtension(path, extension_list) && FileExists(path);
}

std::string FileNameOfPath(std::string_view path) {
  const size_t separator = path.find_last_of("/\\");
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

Status CopyFolderTree(const std::string& source, const std::string& target) {
  std::error_code error;
  const fs::file_status status = fs::status(fs::path(source), error);
  if (error) {
    return CopyFailure(source, error);
  }
  if (!fs::is_directory(status)) {
    return CopyFailure(
        source, std::make_error_code(fs::exists(status) ? std::errc::not_a_directory
                                                        : std::errc::no_such_file_or_directory));
  }
  // A target inside the source would take in its own copies without end.
  const fs::path source_real = fs::canonical(fs::path(source), error);
  const fs::path target_real = fs::weakly_canonical(fs::path(target), error);
  if (!error) {
    if (source_real == target_real) {
      return Status::Ok();  // already in place
    }
    const auto [source_rest, target_rest] = std::mismatch(source_real.begin(), source_real.end(),
                                                          target_real.begin(), target_real.end());
    if (source_rest == source_real.end()) {
      return Status::Error("cannot copy " + source + " into " + target + ", a folder inside it");
    }
  }
  error.clear();
  if (!fs::is_directory(fs::path(target), error)) {
    fs::create_directories(fs::path(target), error);
    if (error) {
      return CreateFailure(target, error);
    }
  }
  return CopyContents(source, target, 0);
}

void DeleteFolder(const std::string& path) {
  if (path.empty()) {
    return;
  }
  const fs::path folder = WithoutTrailingSlashes(path);
  if (folder == "/") {
    return;
  }
  std::error_code error;
  const fs::file_status status = fs::symlink_status(folder, error);
  if (error || !fs::is_directory(status)) {
    return;
  }
  DeleteTree(folder);
}

std::vector<std::string> ListSubfolders(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(fs::path(path), error);
  if (error) {
    return names;
  }
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    if (IsHiddenName(name)) {
      continue;
    }
    std::error_code status_error;
    if (it->is_directory(status_error) && !status_error) {
      names.push_back(std::move(name));
    }
  }
  // std::string compares as unsigned bytes: "A" < "B" < "a", and UTF-8 names
  // sort by code point.
  std::sort(names.begin(), names.end());
  return names;
}

std::string DataFolder() {
  if (std::string home = EnvironmentValue("TESSARINE_HOME"); !home.empty()) {
    return WithTrailingSlash(std::move(home));
  }
  if (const fs::path folder = ExecutableFolder(); !folder.empty()) {
    std::error_code error;
    if (fs::is_directory(folder / "template", error)) {
      return WithTrailingSlash(folder.string());
    }
    // An installed copy: the data folder at its place relative to the
    // programs' folder (<prefix>/bin and <prefix>/share/tessarine), wherever
    // the prefix was moved to.
    const fs::path installed = (folder / TESSARINE_DATADIR_FROM_BINDIR).lexically_normal();
    if (fs::is_directory(installed / "template", error)) {
      return WithTrailingSlash(installed.string());
    }
  }
  return WithTrailingSlash(TESSARINE_INSTALL_DATADIR);
}

std::string UserFolder() {
  std::string data = DataFolder();
  if (IsWritableFolder(data)) {
    return data;
  }
  // XDG Base Directory: a relative value is to be ignored.
  std::string base = EnvironmentValue("XDG_DATA_HOME");
  if (base.empty() || base.front() != '/') {
    base = EnvironmentValue("HOME");
    if (base.empty()) {
      return data;  // nowhere better to go
    }
    base = WithTrailingSlash(std::move(base)) + ".local/share";
  }
  return WithTrailingSlash(std::move(base)) + "tessarine/";
}

std::string DefaultOutputFolder() {
  return UserFolder() + "output/";
}

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
  struct stat old_file {};
  const bool exists = ::lstat(target_.c_str(), &old_file) == 0;
  if (exists && !S_ISREG(old_file.st_mode)) {
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return;
  }
  const fs::path path(target_);
  // Seeded once per thread: setting up a random device for every file cost
  // a build of thousands of pages more than writing some of them. O_EXCL
  // below settles the rare clash.
  thread_local std::mt19937_64 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    TESSARINE_GCC_FALSE_RESTRICT_BEGIN
    temporary_ =
        (path.parent_path() / ("." + path.filename().string() + ".tmp-" + std::to_string(random())))
            .string();
    TESSARINE_GCC_FALSE_RESTRICT_END
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) {
    temporary_.clear();
    return;
  }
  // A file someone made private stays private.
  if (exists) ::fchmod(fd_, old_file.st_mode & 07777);
}

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool ReplacementFile::Write(std::string_view bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (put == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

Status ReplacementFile::Commit() {
  if (fd_ < 0) return Status::Error("cannot write " + target_ + ": " + std::strerror(errno));
  const int closed = ::close(fd_);
  const int close_error = errno;
  fd_ = -1;
  if (closed != 0) {
    return Status::Error("cannot write " + target_ + ": " + std::strerror(close_error));
  }
  if (temporary_.empty()) return Status::Ok();
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    return Status::Error("cannot write " + target_ + ": " + std::strerror(errno));
  }
  temporary_.clear();
  return Status::Ok();
}

Status CopyFileReplacing(const std::string& source, const std::string& target) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Status::Error("cannot copy " + source + ": " + std::strerror(errno));
  ReplacementFile out(target);
  int error = out.fd() < 0 ? errno : 0;
  char buffer[64 * 1024];
  while (error == 0) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    if (!out.Write(std::string_view(buffer, static_cast<size_t>(got)))) error = errno;
  }
  ::close(in);
  if (error != 0)
    return Status::Error("cannot copy " + source + " to " + target + ": " + std::strerror(error));
  return out.Commit();
}

std::string PictureExtension(const std::string& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return {};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string head(4096, '\0');
  ssize_t got = 0;
  do {
    got = ::read(fd, head.data(), head.size());
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  head.resize(got > 0 ? static_cast<size_t>(got) : 0);
  const std::string_view bytes(head);
  if (bytes.starts_with("\x89PNG\r\n\x1a\n")) return ".png";
  if (bytes.starts_with("\xff\xd8\xff")) return ".jpg";
  if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) return ".gif";
  if (bytes.size() >= 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "WEBP") {
    return ".webp";
  }
  // SVG is XML text: markup from the first byte (after a UTF-8 mark and
  // spaces), with an <svg element among its first bytes.
  std::string_view text = bytes;
  if (text.starts_with("\xef\xbb\xbf")) text.remove_prefix(3);
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos && text[first] == '<' &&
      text.find("<svg") != std::string_view::npos && text.find('\0') == std::string_view::npos) {
    return ".svg";
  }
  return {};
}

}  // namespace tessarine::support
