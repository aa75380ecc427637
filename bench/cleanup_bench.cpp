// Throughput of the body clean-up passes on real Word HTML, pass by pass.
//
// Input: the bodies of the Word HTML samples, decoded and extracted as the
// build does it, joined into one text (the "mix"). Each pass is timed on the
// text exactly as it reaches that pass, that is after all passes before it,
// so the per-pass rates add up to what a page body costs. The passes are
// those of the selective and the all-clear mode with every flag on, so that
// every pass of the list is timed.
//
//   bench_cleanup [--benchmark_filter=...]   (reports bytes_per_second of the
//                                             text entering each pass)
//
// Benchmarks:
//   mode<N>/<nn> <pass>   one pass on the mix as it reaches that pass; a pass
//                         run tag by tag is timed a second time with plain
//                         rounds over the whole text ("[whole-text rounds]")
//   mode<N>/all/<k>x      CleanBody on the mix repeated k times (1 and 4: a
//                         rate that drops with k means a pass grows faster
//                         than linearly)
//   mode<N>/pages         CleanBody on every page of the mix cut at its
//                         headings, as the build calls it (reports pages/s)
//
// BENCH_MIX_TIMES=k runs the pass benchmarks on the mix repeated k times.
//
// Environment: TESSARINE_SHARED_DIR overrides the folder with wordhtml-samples/.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cleanup/cleanup.h"
#include "cleanup/head_style.h"
#include "site/sections.h"
#include "support/text_file.h"
#include "word_html_bodies.h"

namespace {

using tessarine::cleanup::CleanBody;
using tessarine::cleanup::CleanBodyPasses;
using tessarine::cleanup::CleanupOptions;
using tessarine::cleanup::CleanupPass;
using tessarine::cleanup::OptimizeMode;
using tessarine::cleanup::PassRounds;

CleanupOptions AllFlags(OptimizeMode mode) {
  CleanupOptions options;
  options.mode = mode;
  options.Opt1VML = options.Opt1Absolute = options.Opt1EQ = options.Opt1Margin = options.Opt1Space =
      true;
  options.Opt2Image = options.Opt2Table = options.Opt2EQ = options.Opt2Indent = options.Opt2PtoBR =
      true;
  return options;
}

void SetBytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void RegisterPass(const std::string& name, const std::string& input, const CleanupPass& pass) {
  benchmark::RegisterBenchmark(name.c_str(), [input, pass](benchmark::State& state) {
    for (auto _ : state) {
      auto out = tessarine::cleanup::RunCleanupPass(input, pass);
      if (!out) {
        state.SkipWithError(out.message().c_str());
        return;
      }
      benchmark::DoNotOptimize(out->data());
    }
    SetBytes(state, input.size());
  })->Unit(benchmark::kMillisecond);
}

void RegisterMode(OptimizeMode mode, const std::string& prefix) {
  const CleanupOptions options = AllFlags(mode);
  const std::vector<CleanupPass> passes = CleanBodyPasses(options);

  // The text entering each pass is fixed once, so each pass is timed alone;
  // BENCH_MIX_TIMES=k times it on the mix repeated k times, to find the pass
  // whose rate drops with k.
  std::string text;
  const char* repeat = std::getenv("BENCH_MIX_TIMES");
  for (int k = 0, n = repeat != nullptr ? std::max(1, std::atoi(repeat)) : 1; k < n; ++k) {
    text += Mix();
  }
  for (size_t n = 0; n < passes.size(); ++n) {
    std::string name = prefix + "/";
    if (n + 1 < 10) name += '0';
    name += std::to_string(n + 1);
    name += ' ';
    name += passes[n].name;
    RegisterPass(name, text, passes[n]);
    // The tag-by-tag rounds beside the plain rounds over the whole text.
    if (passes[n].rounds == PassRounds::kUntilStableByTag) {
      CleanupPass whole_text = passes[n];
      whole_text.rounds = PassRounds::kUntilStable;
      RegisterPass(name + " [whole-text rounds]", text, whole_text);
    }
    auto next = tessarine::cleanup::RunCleanupPass(text, passes[n]);
    if (!next) {
      std::cerr << name << ": " << next.message() << "\n";
      std::exit(1);
    }
    text = std::move(next).value();
  }

  for (int times : {1, 4}) {
    std::string input;
    for (int k = 0; k < times; ++k) input += Mix();
    benchmark::RegisterBenchmark((prefix + "/all/" + std::to_string(times) + "x").c_str(),
                                 [input, options](benchmark::State& state) {
                                   for (auto _ : state) {
                                     auto out = CleanBody(input, options);
                                     if (!out) {
                                       state.SkipWithError(out.message().c_str());
                                       return;
                                     }
                                     benchmark::DoNotOptimize(out->data());
                                   }
                                   SetBytes(state, input.size());
                                 })
        ->Unit(benchmark::kMillisecond);
  }

  auto sections = tessarine::site::SplitSections(Mix(), "8", "mix");
  if (!sections) {
    std::cerr << sections.message() << "\n";
    std::exit(1);
  }
  std::vector<std::string> pages;
  for (const auto& row : *sections) pages.push_back(row.Body);
  benchmark::RegisterBenchmark((prefix + "/pages").c_str(), [pages,
                                                             options](benchmark::State& state) {
    size_t bytes = 0;
    for (const auto& page : pages) bytes += page.size();
    for (auto _ : state) {
      for (const auto& page : pages) {
        auto out = CleanBody(page, options);
        if (!out) {
          state.SkipWithError(out.message().c_str());
          return;
        }
        benchmark::DoNotOptimize(out->data());
      }
    }
    SetBytes(state, bytes);
    state.counters["pages/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * pages.size()), benchmark::Counter::kIsRate);
  })->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterMode(OptimizeMode::kSelective, "mode1");
  RegisterMode(OptimizeMode::kAllClear, "mode2");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
