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

}  // namespace tessarine::testing
