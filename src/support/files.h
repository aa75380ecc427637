// File and folder utilities on Linux paths.
//
// Paths are UTF-8 with "/" between folders; a "\" in a path typed by the user
// is read as "/" (NormalizePath). A name that starts with "." counts as
// hidden. None of these routines throws; failures are returned as false or an
// error Status, as each says.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace tessarine::support {

// "\" becomes "/".
std::string NormalizePath(std::string_view path);

// True when the path names an existing folder or file.
bool FolderExists(const std::string& path);

// True for an existing regular file that is not hidden (its name does not
// start with "."); false for folders, missing paths and any error.
bool FileExists(const std::string& path);

// The text after the last "." of the file name, lower-cased, compared with
// each trimmed, lower-cased, non-empty item of a "|"-separated list.
bool HasExtension(std::string_view path, std::string_view extension_list);

// HasExtension and FileExists.
bool IsDocumentFile(const std::string& path, std::string_view extension_list);

// The last piece of the path after "/" (or "\"); empty when it ends with one.
std::string FileNameOfPath(std::string_view path);

// Copies the source folder's files and sub-folders into the target folder
// (created if missing), replacing files of the same name and leaving others.
// Stops at the first entry that cannot be copied (a missing source included)
// with a message naming it; what was copied before stays.
Status CopyFolderTree(const std::string& source, const std::string& target);

// A new file written beside `target` under a hidden temporary name and
// renamed over the target by Commit, once it is complete: readers, and a
// write that fails half-way (a full disk), never see half a file. Dropped
// without a Commit, the temporary file goes and the target stays as it was.
// A target that is neither missing nor a regular file (a device, a link, a
// folder) is written in place, as it cannot be replaced.
class ReplacementFile {
 public:
  explicit ReplacementFile(std::string target);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // Where to write; below 0 (with errno set) when nothing could be opened.
  int fd() const { return fd_; }
  // Appends the bytes; false, with errno set, when they could not all be
  // written.
  bool Write(std::string_view bytes);
  // Closes the file and puts it in place of the target; a failure names the
  // target and the reason, and leaves the target as it was.
  Status Commit();

 private:
  std::string target_;
  std::string temporary_;  // empty when writing in place
  int fd_ = -1;
};

// Copies one regular file onto `target` through a ReplacementFile; a
// failure names the file and the reason.
Status CopyFileReplacing(const std::string& source, const std::string& target);

// The usual extension (".png", ".jpg", ".gif", ".svg", ".webp") of a
// regular file whose content is a picture of one of those kinds, judged by
// its first bytes and not by its name; empty for anything else.
std::string PictureExtension(const std::string& path);

// Removes the folder and everything in it, read-only entries included; does
// nothing for a missing folder. Never fails: what cannot be removed stays.
void DeleteFolder(const std::string& path);

// Names of the sub-folders (not files, not symlinks to files, not hidden
// ones), sorted by byte-wise comparison, so upper case sorts before lower
// case. Empty for a missing folder.
std::vector<std::string> ListSubfolders(const std::string& path);

// Where the shipped data (template/) lies: $TESSARINE_HOME if set, else the
// executable's folder when it holds template/, else ../share/tessarine from
// the executable's folder when that holds template/, else the configured
// <prefix>/share/tessarine.
// Always ends with "/".
std::string DataFolder();

// Where the user's output goes: the data folder when it is writable, else
// $XDG_DATA_HOME/tessarine (default ~/.local/share/tessarine). Ends with "/".
std::string UserFolder();

// UserFolder() + "output/".
std::string DefaultOutputFolder();

}  // namespace tessarine::support
