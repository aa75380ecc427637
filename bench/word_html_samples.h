// The shared Word HTML samples, for the benchmarks that time the stages
// after the conversion on real markup.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "support/text_file.h"

namespace {

std::filesystem::path SamplesDir() {
  const char* env = std::getenv("TESSARINE_SHARED_DIR");
  return std::filesystem::path(env != nullptr ? env : TESSARINE_SHARED_DIR) / "wordhtml-samples";
}

// The samples' pages (not their header files), in file-name order.
std::vector<std::filesystem::path> SampleFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(SamplesDir())) {
    const auto ext = entry.path().extension();
    if ((ext == ".htm" || ext == ".html") && entry.path().filename() != "header.htm") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace
