// A Word HTML page as the converter hands it over without writing it: the
// page's text and the files of its companion folder <stem>.files/
// (pictures, header.htm, filelist.xml).
//
// The site build takes pages in this form, so that a build creates no file
// it deletes again: the text goes straight to the clean-up, and only the
// pictures the pages show are written, once, into the site. The companion
// files of a document whose pictures are too large to hold lie in a folder
// on disk instead (see RenderWordHtmlPage); readers see no difference.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace tessarine::convert {

struct CompanionFile {
  std::string name;   // "image001.png", "header.htm": the name in the folder
  std::string bytes;  // the file's content, as it would be written
  bool operator==(const CompanionFile&) const = default;
};

// The files of one companion folder, held in memory or lying on disk.
class CompanionFiles {
 public:
  // Held in memory; none yet.
  CompanionFiles() = default;
  // The files of the folder `folder` on disk (ending with "/").
  static CompanionFiles InFolder(std::string folder);

  bool held() const { return folder_.empty(); }
  // The folder on disk, ending with "/"; empty when held.
  const std::string& folder() const { return folder_; }
  // Held: the files in the order they were made.
  const std::vector<CompanionFile>& held_files() const { return files_; }

  // Held: a new file; a name given before is replaced.
  void Add(std::string name, std::string bytes);

  // True when there is a file `name` (a path relative to the folder; held
  // files have plain names only).
  bool Has(std::string_view name) const;
  // The file `name` read as text in code page 936 (as support::ReadTextFile
  // reads it); empty when there is none.
  std::string ReadText(std::string_view name) const;
  // Puts a copy of file `name` at `target`, creating its folder, through a
  // temporary name renamed over the target once complete. A missing file is
  // passed over (Ok, nothing written); a copy that cannot be written is a
  // failure naming the target.
  support::Status CopyTo(std::string_view name, const std::string& target) const;

  bool operator==(const CompanionFiles&) const = default;

 private:
  const CompanionFile* Find(std::string_view name) const;

  std::string folder_;
  std::vector<CompanionFile> files_;
};

struct WordHtmlPage {
  // The page, exactly as reading its written file back (code page 936,
  // support::ReadTextFile) gives it: well-formed UTF-8, made by this
  // system's decoder, so support::ValidUtf8::Known applies to it.
  std::string html;
  CompanionFiles files;
  bool operator==(const WordHtmlPage&) const = default;
};

}  // namespace tessarine::convert
