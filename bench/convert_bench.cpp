// In-process speed of the .docx to Word HTML conversion on the generated
// benchmark documents of the tiers S (20 headings) and M (300 headings):
// reading the package, rendering the markup in memory, and the whole
// conversion with the file and its folder written.
//
//   bench_convert [--benchmark_filter=...]
//
// The documents come from the shared make-bench-docs.sh, in $BENCH_DOCS_DIR
// (default /tmp/bench-docs). A tier whose file is missing is skipped with a
// message; the larger tiers are timed end to end by convert_bench.sh.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "convert/conversion.h"
#include "convert/docx_package.h"
#include "convert/word_html_writer.h"

namespace {

namespace fs = std::filesystem;
using tessarine::convert::DocxPackage;

fs::path BenchDocsDir() {
  const char* env = std::getenv("BENCH_DOCS_DIR");
  return env != nullptr && *env != '\0' ? fs::path(env) : fs::path("/tmp/bench-docs");
}

void BM_Open(benchmark::State& state, const std::string& document) {
  for (auto _ : state) {
    auto package = DocxPackage::Open(document);
    if (!package.ok()) {
      state.SkipWithError(package.message().c_str());
      break;
    }
    benchmark::DoNotOptimize(package->body());
  }
}

void BM_Render(benchmark::State& state, const std::string& document) {
  auto package = DocxPackage::Open(document);
  if (!package.ok()) {
    state.SkipWithError(package.message().c_str());
    return;
  }
  size_t bytes = 0;
  for (auto _ : state) {
    std::vector<std::string> diagnostics;
    const std::string html =
        tessarine::convert::RenderWordHtml(*package, "page.files", &diagnostics);
    bytes += html.size();
    benchmark::DoNotOptimize(html.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_Convert(benchmark::State& state, const std::string& document) {
  const fs::path folder = fs::temp_directory_path() / "tessarine-bench-convert";
  fs::create_directories(folder);
  const std::string target = (folder / "page.htm").string();
  for (auto _ : state) {
    const auto outcome = tessarine::convert::ConvertToWordHtml(document, target, {});
    if (!outcome.ok()) {
      state.SkipWithError(outcome.message().c_str());
      break;
    }
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  int registered = 0;
  for (const char* tier : {"S", "M"}) {
    const fs::path document = BenchDocsDir() / (std::string(tier) + ".docx");
    if (!fs::is_regular_file(document)) {
      std::cerr << "skipping tier " << tier << ": " << document.string()
                << " is missing (make it with make-bench-docs.sh " << tier << ")\n";
      continue;
    }
    const std::string path = document.string();
    benchmark::RegisterBenchmark((std::string("Open/") + tier).c_str(), BM_Open, path)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Render/") + tier).c_str(), BM_Render, path)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Convert/") + tier).c_str(), BM_Convert, path)
        ->Unit(benchmark::kMillisecond);
    ++registered;
  }
  if (registered > 0) benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
