// Row selection of each symbol tab on generated maps, against the literal selection
// (copy every matching row, stable sort, cut) as the baseline.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "feed_gen.hpp"
#include "state/app.hpp"
#include "state/tabs.hpp"

namespace {

constexpr uint64_t kMaxRows = 50;

state::App& app_of_size(size_t n) {
  static std::map<size_t, std::unique_ptr<state::App>> apps;
  auto& slot = apps[n];
  if (!slot) {
    slot = std::make_unique<state::App>(kMaxRows);
    for (auto& row : bench_gen::generate_rows(n)) {
      std::string key = row.sym;
      slot->symbol_map.insert_or_assign(std::move(key), std::move(row));
    }
  }
  return *slot;
}

std::vector<state::SymbolRow> literal_rows(const state::App& app) {
  const state::TabDef& def = state::TABS[app.tab];
  const std::string upper = state::upper_case(app.search);
  std::vector<state::SymbolRow> rows;
  for (const auto& [sym, row] : app.symbol_map) {
    if (def.filter(row) && row.last > 0.0 && state::matches_search(row, upper)) rows.push_back(row);
  }
  std::stable_sort(rows.begin(), rows.end(), [&](const state::SymbolRow& a, const state::SymbolRow& b) {
    return state::compare_rows(a, b, def) < 0;
  });
  if (rows.size() > app.max_rows) rows.resize(size_t(app.max_rows));
  return rows;
}

template <bool Literal>
void run(benchmark::State& st, const char* search) {
  state::App& app = app_of_size(size_t(st.range(1)));
  app.tab = uint64_t(st.range(0));
  app.search = search;
  size_t shown = 0;
  for (auto _ : st) {
    auto rows = Literal ? literal_rows(app) : state::get_rows(app);
    shown = rows.size();
    benchmark::DoNotOptimize(rows.data());
  }
  st.SetLabel(std::string(state::TABS[app.tab].label) + " rows=" + std::to_string(shown));
}

// Reading one member of every row, with the hardware prefetcher alone: what any walk
// over the map costs on this machine, for reading the figures above it.
void BM_MapWalk(benchmark::State& st) {
  const state::App& app = app_of_size(size_t(st.range(0)));
  for (auto _ : st) {
    int64_t sum = 0;
    for (const auto& [sym, row] : app.symbol_map) sum += row.vol;
    benchmark::DoNotOptimize(sum);
  }
}

// A search with no cap: every row's name is tested.
void BM_GetRowsSearchUncapped(benchmark::State& st) {
  state::App& app = app_of_size(size_t(st.range(1)));
  app.max_rows = UINT64_MAX;
  run<false>(st, "in");
  app.max_rows = kMaxRows;
}

void BM_GetRows(benchmark::State& st) { run<false>(st, ""); }
void BM_Literal(benchmark::State& st) { run<true>(st, ""); }
void BM_GetRowsSearch(benchmark::State& st) { run<false>(st, "in"); }
void BM_LiteralSearch(benchmark::State& st) { run<true>(st, "in"); }

void tabs_and_sizes(benchmark::internal::Benchmark* b, std::vector<int64_t> sizes) {
  for (int64_t n : sizes)
    for (int64_t tab = 0; tab < 8; ++tab) b->Args({tab, n});
  b->ArgNames({"tab", "n"})->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK(BM_GetRows)->Apply([](auto* b) { tabs_and_sizes(b, {10'000, 100'000}); });
BENCHMARK(BM_Literal)->Apply([](auto* b) { tabs_and_sizes(b, {10'000, 100'000}); });
BENCHMARK(BM_GetRowsSearch)->Apply([](auto* b) { tabs_and_sizes(b, {10'000}); });
BENCHMARK(BM_GetRowsSearchUncapped)->Args({0, 10'000})->ArgNames({"tab", "n"})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapWalk)->Arg(10'000)->Arg(100'000)->ArgName("n")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiteralSearch)->Apply([](auto* b) { tabs_and_sizes(b, {10'000}); });

BENCHMARK_MAIN();
