// The bodies of the shared Word HTML samples, for the benchmarks that time
// the stages after the conversion on real markup.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "site/head_style.h"
#include "support/text_file.h"

namespace {

std::filesystem::path SamplesDir() {
  const char* env = std::getenv("TESSARINE_SHARED_DIR");
  return std::filesystem::path(env != nullptr ? env : TESSARINE_SHARED_DIR) / "wordhtml-samples";
}

// Every sample's body, in file-name order. Files that do not decode to Word
// HTML (UTF-16 read as ANSI) are left out, as the build would find no body.
std::string BodyMix() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(SamplesDir())) {
    const auto ext = entry.path().extension();
    if ((ext == ".htm" || ext == ".html") && entry.path().filename() != "header.htm") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  std::string mix;
  for (const auto& file : files) {
    const std::string html = tessarine::support::ReadTextFile(file.string());
    if (html.find("<body") == std::string::npos) continue;
    auto head = tessarine::site::ParseHead(html);
    if (!head) continue;
    auto body = tessarine::site::ExtractBody(head->rest);
    if (!body) continue;
    mix += *body;
    mix += "\r\n";
  }
  if (mix.empty()) {
    std::cerr << "no Word HTML samples under " << SamplesDir() << "\n";
    std::exit(1);
  }
  return mix;
}

const std::string& Mix() {
  static const std::string mix = BodyMix();
  return mix;
}

}  // namespace
