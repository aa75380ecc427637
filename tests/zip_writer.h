// Writes small zip packages for tests that build .docx files from XML text,
// so each fixture's content stands readable in the test itself.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tessarine::testing {

// Namespace declarations for the root element of a hand-written package
// part: every prefix the fixtures use, so a part may use any of them.
inline constexpr char kWordNamespaces[] =
    R"( xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main")"
    R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")"
    R"( xmlns:m="http://schemas.openxmlformats.org/officeDocument/2006/math")"
    R"( xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing")"
    R"( xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main")"
    R"( xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture")"
    R"( xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape")"
    R"( xmlns:wpg="http://schemas.microsoft.com/office/word/2010/wordprocessingGroup")"
    R"( xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006")"
    R"( xmlns:v="urn:schemas-microsoft-com:vml")"
    R"( xmlns:o="urn:schemas-microsoft-com:office:office")"
    R"( xmlns:w10="urn:schemas-microsoft-com:office:word")";

using ZipEntries = std::vector<std::pair<std::string, std::string>>;

// Writes `entries` (name, content) in order to a zip at `path` and returns
// the path. `stored` keeps the data uncompressed, so a test can find and
// damage it. Failures are test failures.
std::string WriteZip(const std::string& path, const ZipEntries& entries, bool stored = false);

// One <Relationship> of a .rels part; `type` is the last segment of the
// officeDocument relationship type ("image", "header", ...).
std::string Rel(const std::string& id, const std::string& type, const std::string& target,
                bool external = false);

// A whole .rels part around `content` (Rel elements).
std::string Rels(const std::string& content);

// A .docx of paragraphs: (0, text) is body text, (n, text) a heading of
// level n (1 or 2), (0, "") an empty paragraph.
using Blocks = std::vector<std::pair<int, std::string>>;
void WriteDocx(const std::string& path, const Blocks& blocks);
// A .docx whose body is `body` (WordprocessingML blocks), with the Normal and
// heading 1-2 styles and `styles` (more w:style elements) besides.
void WriteDocxXml(const std::string& path, const std::string& body, const std::string& styles);

}  // namespace tessarine::testing
