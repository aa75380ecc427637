// The readers' search index on real Word HTML: the pages of the Word HTML
// samples cut at their headings, repeated to sites of about 300, 3,000 and
// 15,000 pages (the page counts of the generated tiers M, L and XL).
//
//   bench_search_index [--benchmark_filter=...]   (reports pages/s)
//
// Benchmarks:
//   text/<pages>    AddDocument and the wait for the worker thread: the
//                   visible text of every page and its terms and postings,
//                   gathered as the build hands the pages over
//   index/<pages>   IndexScript: the terms sorted and the script text
//   snippets/<pages> TextScripts: the snippet text files
// A rate that drops as the site grows means a step grows faster than the
// site.
//
// Environment: TESSARINE_SHARED_DIR overrides the folder with wordhtml-samples/.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "site/search_index.h"
#include "site/sections.h"
#include "word_html_bodies.h"

namespace {

using tessarine::site::SearchIndexBuilder;
using tessarine::site::SectionTable;

// The sample pages repeated until the site has at least `pages` pages.
std::vector<SectionTable> Site(size_t pages) {
  static const SectionTable sample = [] {
    auto sections = tessarine::site::SplitSections(Mix(), "8", "mix");
    return sections ? *sections : SectionTable{};
  }();
  std::vector<SectionTable> site;
  for (size_t count = 0; count < pages && !sample.empty(); count += sample.size()) {
    site.push_back(sample);
  }
  return site;
}

void SetPagesRate(benchmark::State& state, size_t pages) {
  state.counters["pages"] = static_cast<double>(pages);
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations() * pages),
                                                 benchmark::Counter::kIsRate);
}

SearchIndexBuilder Builder(const std::vector<SectionTable>& site) {
  SearchIndexBuilder builder;
  for (const SectionTable& document : site) builder.AddDocument(document);
  return builder;
}

void Text(benchmark::State& state) {
  const std::vector<SectionTable> site = Site(static_cast<size_t>(state.range(0)));
  size_t pages = 0;
  for (auto _ : state) {
    SearchIndexBuilder builder = Builder(site);
    pages = builder.page_count();
    benchmark::DoNotOptimize(builder.text_bytes());
  }
  SetPagesRate(state, pages);
}

void Index(benchmark::State& state) {
  const SearchIndexBuilder builder = Builder(Site(static_cast<size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(builder.IndexScript(true));
  SetPagesRate(state, builder.page_count());
}

void Snippets(benchmark::State& state) {
  const SearchIndexBuilder builder = Builder(Site(static_cast<size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(builder.TextScripts(true));
  SetPagesRate(state, builder.page_count());
}

}  // namespace

BENCHMARK(Text)->Name("text")->Arg(300)->Arg(3000)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(Index)->Name("index")->Arg(300)->Arg(3000)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(Snippets)
    ->Name("snippets")
    ->Arg(300)
    ->Arg(3000)
    ->Arg(15000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
