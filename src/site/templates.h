// The template engine: optional blocks and placeholders of a template's
// pages, and the writing of each content page.
//
// A template is a folder <data>/template/NAME/ holding main.htm (every
// content page and document home page), default.htm, top.htm and left.htm
// (the frameset), preview.gif and the resource folder tfiles/. Its files are
// plain HTML read as code page 936, with two kinds of markup of their own:
//
//   optional blocks (main.htm only)
//       <!--Begin:nav--> ... <!--End:nav-->
//       <!--Begin:copyright--> ... <!--End:copyright-->
//     kept without their markers, or dropped with them, by the project's
//     PageNav and Copyright switches. Spaces may stand after "<!--" and
//     before "-->"; none between the colon and the name; names and the words
//     Begin and End ignore case; blocks do not nest.
//   placeholders (every template file)
//       {name}, the name from the file's list of names, ignoring case, no
//     spaces inside the braces; braces around anything else are plain text.
//
// Substitution is one pass over the template text: a placeholder that comes
// in with a value (a "{title}" written in a document) stays as it is.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "support/files.h"
#include "support/status.h"

namespace tessarine::site {

// One page's placeholder values, keyed by the lower-case placeholder name. The
// template text decides the order of substitution, so the map's order never
// matters; a name without a value is replaced by empty text.
using PlaceholderMap = std::map<std::string, std::string, std::less<>>;

// The placeholders of main.htm.
inline constexpr std::string_view kPagePlaceholderNames =
    "charset|filekey|copyright|title|metakey|metadesc|nav|content";

// The optional blocks of main.htm.
inline constexpr std::string_view kTemplateBlockNames = "nav|copyright";

// support::DataFolder() + "template/" + name + "/". The name was checked to be
// one folder name before the build (project/validation.h).
std::string TemplateFolder(std::string_view template_name);

// The page skeleton: main.htm of the template folder (ending with "/") with
// every nav block kept unless page_nav is "0" and every copyright block kept
// unless copyright is "0". Fails, naming the file, when the template has no
// main.htm (every page would silently come out empty), or when the pattern
// engine fails.
support::Result<std::string> ApplyTemplateBlocks(const std::string& template_folder,
                                                 std::string_view page_nav,
                                                 std::string_view copyright);

// The block resolution of ApplyTemplateBlocks on a text already read.
support::Result<std::string> ResolveTemplateBlocks(std::string_view page_template,
                                                   std::string_view page_nav,
                                                   std::string_view copyright);

// Every placeholder of `names` ("a|b|c") in the text replaced by its value.
// One algorithm for every template file: callers differ only in the names and
// the values.
support::Result<std::string> FillPlaceholders(std::string_view template_text,
                                              std::string_view names, const PlaceholderMap& values);

// Fills the page skeleton with the main.htm placeholders and writes it to
// output_dir + page_file in the FileEncode encoding ("0" code page 936, "1"
// UTF-8 with its mark), replacing any earlier file. `page_file` must be a bare
// file name: a page is never written outside the output folder. A failure
// names the file and the reason.
support::Status WriteContentPage(std::string_view page_skeleton, const PlaceholderMap& values,
                                 const std::string& output_dir, std::string_view page_file,
                                 std::string_view file_encode);

// A filled page on its way to its file.
struct ContentPageFile {
  std::string path;
  std::string bytes;        // the file's bytes, encoding mark included; or,
  std::string text;         // for a large page, the page, encoded as it is written
  std::string file_encode;  // (held once, not twice)
};

// WriteContentPage but for the writing, which WriteContentPageFile does: lets
// a caller make pages on several threads and create their files on one, so
// that the threads do not wait for each other on the output folder.
support::Result<ContentPageFile> ContentPageBytes(std::string_view page_skeleton,
                                                  const PlaceholderMap& values,
                                                  const std::string& output_dir,
                                                  std::string_view page_file,
                                                  std::string_view file_encode);
support::Status WriteContentPageFile(const ContentPageFile& page);

}  // namespace tessarine::site
