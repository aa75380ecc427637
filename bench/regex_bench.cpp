// Throughput of the regular-expression services on Word HTML for the heaviest
// passes of the clean-up list. Input: the bodies of the real Word HTML samples,
// decoded as the build decodes them and repeated to 1 MB and 5 MB.
//
//   bench_regex [--benchmark_filter=...]   (reports bytes_per_second)
//
// Environment: TESSARINE_SHARED_DIR overrides the folder with wordhtml-samples/.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "support/regex.h"
#include "support/text_file.h"
#include "word_html_samples.h"

namespace {

using tessarine::support::ReadTextFile;

// A mix of Word's body markup: from every sample its body, cut after a
// paragraph end within the first 64 KB, so that every sample weighs alike.
// The mix is repeated to `size` bytes; 1 MB and 5 MB are the same material,
// so their rates show whether a pass grows faster than linearly.
std::string BodyMix() {
  constexpr size_t kShare = 64 * 1024;
  std::string mix;
  for (const auto& f : SampleFiles()) {
    const std::string text = ReadTextFile(f.string());
    const size_t body = text.find("<body");
    if (body == std::string::npos) continue;  // a UTF-16 file read as ANSI
    const size_t cut = text.rfind("</p>", body + kShare);
    if (cut == std::string::npos || cut < body) continue;
    mix.append(text, body, cut + 4 - body);
    mix += "\r\n";
  }
  if (mix.empty()) {
    std::cerr << "no Word HTML samples under " << SamplesDir() << "\n";
    std::exit(1);
  }
  return mix;
}

const std::string& WordHtml(size_t size) {
  static const std::string mix = BodyMix();
  static std::vector<std::pair<size_t, std::string>> made;
  for (const auto& [made_size, text] : made) {
    if (made_size == size) return text;
  }
  std::string text;
  text.reserve(size + mix.size());
  while (text.size() < size) text += mix;
  made.emplace_back(size, std::move(text));
  return made.back().second;
}

void Report(benchmark::State& state, const std::string& text) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}

void RunReplace(benchmark::State& state, const char* pattern, const char* replacement,
                bool repeat) {
  const std::string& text = WordHtml(static_cast<size_t>(state.range(0)) << 20);
  for (auto _ : state) {
    auto out = repeat ? tessarine::support::RegexpReplaceRepeat(text, pattern, replacement)
                      : tessarine::support::RegexpReplace(text, pattern, replacement);
    if (!out.ok()) {
      state.SkipWithError(out.message().c_str());
      return;
    }
    benchmark::DoNotOptimize(out->data());
  }
  Report(state, text);
}

void BM_CommentRemoval(benchmark::State& state) {
  RunReplace(state, "<!--([^a]|a)*?-->", "", false);
}

void BM_MsoConditionalBlocks(benchmark::State& state) {
  RunReplace(state, "<!--\\[if mso[^>]*?>([^a]|a)*?<!\\[endif\\]-->", "", false);
}

void BM_MsoStyleRemovalToFixedPoint(benchmark::State& state) {
  RunReplace(state, "(<\\w+\\s+[^>]*?style='[^'>]*?)(mso-[\\w\\-]+:[^;'>]+;?)+([^'>]*?'[^>]*?>)",
             "$1$3", true);
}

void BM_AnyTagIdiom(benchmark::State& state) {
  RunReplace(state, "<([^a]|a)*?>", "", false);
}

void BM_LangAttributes(benchmark::State& state) {
  RunReplace(state, "(<\\w+[^>]*?)\\slang=[\\w\\-]+([^>]*?>)", "$1$2", false);
}

void BM_AllClearTagFilter(benchmark::State& state) {
  RunReplace(state,
             "<(?!(p|/p|br|sub|sup|/sub|/sup|img|table|tr|td|th|/table|/tr|/td|/th))+?[^>]*?>", "",
             false);
}

void BM_HeadingSplitter(benchmark::State& state) {
  const std::string& text = WordHtml(static_cast<size_t>(state.range(0)) << 20);
  const char* pattern =
      "(<h(1|2|3|4|5|6|7|8|9)[^>]*>((?:[^a]|a)*?)</h\\2>|<p class=MsoHeading(1|2|3|4|5|6|7|8|9)>"
      "((?:[^a]|a)*?)</p>)";
  for (auto _ : state) {
    tessarine::support::RegexMatcher matcher(pattern, text);
    size_t headings = 0;
    while (matcher.Next()) ++headings;
    if (!matcher.status().ok()) {
      state.SkipWithError(matcher.status().message().c_str());
      return;
    }
    benchmark::DoNotOptimize(headings);
  }
  Report(state, text);
}

}  // namespace

BENCHMARK(BM_CommentRemoval)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MsoConditionalBlocks)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MsoStyleRemovalToFixedPoint)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnyTagIdiom)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LangAttributes)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllClearTagFilter)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeadingSplitter)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
