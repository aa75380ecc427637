// The package reader and the Word HTML writer on arbitrary bytes: every input
// either fails to open with a message or renders, within the reader's
// limits, without a sanitizer report. Seeds: the .docx corpus.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "convert/docx_package.h"
#include "convert/word_html_writer.h"

namespace {

// One file per process, rewritten for each input: the reader takes a path.
const std::string& InputPath() {
  static const std::string path = [] {
    std::string name = "/tmp/tessarine-fuzz-package-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) std::abort();
    ::close(fd);
    return name;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tessarine::convert::DocxPackage;
  const std::string& path = InputPath();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  // Limits small enough that a bomb costs milliseconds, not the run.
  tessarine::convert::PackageLimits limits;
  limits.max_part_bytes = 8u << 20;
  limits.max_total_bytes = 32u << 20;
  limits.whole_body_bytes = 64u << 10;  // large bodies go through the piece reader too
  limits.body_piece_bytes = 16u << 10;
  auto package = DocxPackage::Open(path, limits);
  if (!package.ok()) {
    if (package.message().empty()) std::abort();  // a failure always says why
    return 0;
  }
  std::vector<std::string> diagnostics;
  const std::string html = tessarine::convert::RenderWordHtml(*package, "in.files", &diagnostics);
  if (html.find("</html>") == std::string::npos) std::abort();
  return 0;
}
