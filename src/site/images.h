// Image stage: copies the pictures that a document's pages use from the
// companion files of its Word HTML (held in memory, or in a folder on disk)
// into its resource folder in the output (<output><prefix>.files/).
//
// Page bodies already name their pictures "<prefix>.files/NAME", so they need
// no rewriting. The header file lies inside the companion folder and names
// its pictures relative to it; CopyHeaderFooterImages copies those and points
// them into the resource folder. A picture missing from the companion folder,
// or one that cannot be copied, is passed over without a message: a page with
// one broken picture is better than no site.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/word_html_page.h"
#include "support/status.h"

namespace tessarine::site {

// Ok for a non-empty prefix of ASCII letters and digits only, the only kind
// that may be put into a pattern and a path unescaped; otherwise the message
// that names it.
support::Status CheckPlainPrefix(std::string_view prefix);

// The companion files one finished page of a document names: every src
// attribute that runs through "<prefix>.files/", in order, repeats included,
// always from the top level of the companion files (a sub-folder in a source
// counts for nothing). Fails when the prefix is not plain or a pattern runs
// out of resources.
support::Result<std::vector<std::string>> PageImageNames(std::string_view body,
                                                         std::string_view prefix);

// Copies the files `names` gives (those of every page, in row order), each
// distinct name once, in the order first given. Creates the resource folder
// if it is missing. Folders end with "/". Fails when the prefix is not plain
// or when the resource folder cannot be created.
support::Status CopyNamedPageImages(const std::vector<std::string>& names,
                                    const convert::CompanionFiles& files,
                                    const std::string& output_dir, std::string_view prefix);

// The header and footer picture step on an extracted header or footer whose
// VML pictures are already "<img src=...>" elements: every such source names
// a companion file, which is copied to the same relative path
// in the resource folder, and every source is then prefixed with
// "<prefix>.files/" so that a page in the output folder finds it. A source
// that would lead out of either folder ("..", an absolute path) is not
// copied. Fails when the prefix is not plain or a pattern runs out of
// resources.
support::Result<std::string> CopyHeaderFooterImages(std::string_view html,
                                                    const convert::CompanionFiles& files,
                                                    const std::string& output_dir,
                                                    std::string_view prefix);

}  // namespace tessarine::site
