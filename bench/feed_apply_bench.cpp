// How long the feed task holds the App lock to apply one decoded message: the time a
// frame or a key may wait behind it.
#include <benchmark/benchmark.h>

#include "feed/feed_apply.hpp"
#include "feed_gen.hpp"
#include "state/app.hpp"

namespace {

// A snapshot replacing one of the same size (the steady state: the table keeps its capacity).
void BM_ApplySnapshot(benchmark::State& state) {
  const auto rows = bench_gen::generate_rows(size_t(state.range(0)), 11);
  state::App app(50);
  feed::WsMessage first = feed::Snapshot{rows};
  feed::apply_message(app, first);
  for (auto _ : state) {
    state.PauseTiming();
    feed::WsMessage msg = feed::Snapshot{rows};
    state.ResumeTiming();
    feed::apply_message(app, msg);
    state.PauseTiming();
    msg = feed::Ping{};  // the emptied rows are freed outside the timing
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ApplySnapshot)->Arg(3'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// An update of 50 rows into a map of 3,000 rows or more (half the rows are new symbols
// the first time round).
void BM_ApplyUpdate(benchmark::State& state) {
  auto rows = bench_gen::generate_rows(3'000 + 25 * 1024, 12);
  state::App app(50);
  feed::WsMessage snap = feed::Snapshot{std::vector<feed::SymbolRow>(rows.begin(), rows.begin() + 3'000)};
  feed::apply_message(app, snap);
  std::vector<feed::WsMessage> updates;
  for (size_t u = 0; u < 1024; ++u) {
    feed::Update msg;
    for (size_t i = 0; i < 25; ++i) msg.symbols.push_back(rows[(u * 97 + i * 31) % 3'000]);
    for (size_t i = 0; i < 25; ++i) msg.symbols.push_back(rows[3'000 + u * 25 + i]);
    updates.emplace_back(std::move(msg));
  }
  const auto pristine = updates;
  size_t next = 0;
  for (auto _ : state) {
    if (next == updates.size()) {  // the rows were moved out: start over with fresh copies
      state.PauseTiming();
      updates = pristine;
      next = 0;
      state.ResumeTiming();
    }
    feed::apply_message(app, updates[next++]);
  }
  state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_ApplyUpdate)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
