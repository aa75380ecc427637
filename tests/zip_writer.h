// Writes small zip packages for tests that build .docx files from XML text,
// so each fixture's content stands readable in the test itself.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tessarine::testing {

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

}  // namespace tessarine::testing
