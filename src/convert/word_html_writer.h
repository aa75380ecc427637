// The Word HTML writer: turns a .docx package into the markup Word's
// "Save as Web Page" writes, so every later stage (clean-up passes, heading
// splitter, list and page-number patterns) meets the markup it was written for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/word_html_page.h"
#include "support/status.h"

namespace tessarine::convert {

class DocxPackage;

struct WordHtmlResult {
  std::vector<std::string> diagnostics;  // content oddities that did not stop the work
  bool stopped = false;  // `stop_requested` said so: nothing was written in place of the target
};

// Pictures the package states to come to more than this are not held in
// memory: a document of a few large scans would otherwise hold hundreds of
// megabytes beside its parsed XML.
inline constexpr std::uint64_t kHeldPictureBytes = std::uint64_t{256} << 20;

// Renders the page into `page`: its text (as the file would read back) and
// its companion files held in memory, named for a page file `htm_name`
// ("doc1.htm": pictures in "doc1.files/"). Pictures that the package states
// to come to more than `held_limit`, when `spill_folder` is given
// (ending with "/", created if missing), are written there instead, with
// header.htm and filelist.xml, and `page.files` names that folder. A stop
// (`stopped` set) leaves `page` incomplete; a failure names the reason.
// WriteWordHtml is this followed by writing the page.
support::Result<WordHtmlResult> RenderWordHtmlPage(const DocxPackage& package,
                                                   const std::string& htm_name, WordHtmlPage& page,
                                                   const std::string& spill_folder,
                                                   const std::function<bool()>& stop_requested = {},
                                                   std::uint64_t held_limit = kHeldPictureBytes);

// Writes `target_htm` (code page 936, charset gb2312, CR LF) and the companion folder
// <dir>/<stem>.files/ with the pictures (imageNNN.ext, see picture_files.h) and filelist.xml.
// Pictures that browsers cannot show get a PNG copy from LibreOffice or ImageMagick when one
// is installed, in one run for the whole document. A failed write (disk full, no access) is an
// error naming the file and the reason. `stop_requested`, when set, is asked
// while the body is written; true ends the work with `stopped` set and
// nothing written but the pictures too large to hold.
support::Result<WordHtmlResult> WriteWordHtml(const DocxPackage& package,
                                              const std::string& target_htm,
                                              const std::function<bool()>& stop_requested = {});

// The same markup in memory (UTF-8), for tests and for writing; `files_folder_name` is
// "<stem>.files". Pictures are named but not read or written; without web copies of metafiles
// their numbers may differ from WriteWordHtml's.
std::string RenderWordHtml(const DocxPackage& package, const std::string& files_folder_name,
                           std::vector<std::string>* diagnostics);

}  // namespace tessarine::convert
