// The bodies of the shared Word HTML samples, extracted as the build does it.
#pragma once

#include <cstdlib>
#include <iostream>
#include <string>

#include "cleanup/head_style.h"
#include "support/text_file.h"
#include "word_html_samples.h"

namespace {

// Every sample's body, in file-name order. Files that do not decode to Word
// HTML (UTF-16 read as ANSI) are left out, as the build would find no body.
std::string BodyMix() {
  std::string mix;
  for (const auto& file : SampleFiles()) {
    const std::string html = tessarine::support::ReadTextFile(file.string());
    if (html.find("<body") == std::string::npos) continue;
    auto head = tessarine::cleanup::ParseHead(html);
    if (!head) continue;
    auto body = tessarine::cleanup::ExtractBody(head->rest);
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
