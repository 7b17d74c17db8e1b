// One frame rendered into memory, as draw_frame does under the App lock: the summary
// over the whole map and the active tab's table, into a 120x40 buffer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "feed_gen.hpp"
#include "screen/panels.hpp"
#include "state/app.hpp"
#include "tui/buffer.hpp"

namespace {

state::AppHandle make_shared_app(size_t symbols, uint64_t tab) {
  auto shared = state::make_app(50);
  shared->app.connected = true;
  shared->app.tab = tab;
  for (auto& row : bench_gen::generate_rows(symbols)) {
    std::string key = row.sym;
    shared->app.symbol_map.insert_or_assign(std::move(key), std::move(row));
  }
  return shared;
}

// Args: symbol count, tab. A cold frame meets the map as the live program does: between
// two frames, 100 ms apart, other work has pushed it out of the caches, so each cold
// frame starts after 64 MiB were written.
void draw_frames(benchmark::State& state, bool cold) {
  auto shared = make_shared_app(size_t(state.range(0)), uint64_t(state.range(1)));
  tui::Buffer buf(120, 40);
  std::vector<uint64_t> evict(cold ? size_t(64) << 17 : 0);
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      for (size_t i = 0; i < evict.size(); i += 8) evict[i] += i;
      benchmark::DoNotOptimize(evict.data());
      state.ResumeTiming();
    }
    buf.reset();
    screen::draw_frame(buf, shared);
    benchmark::DoNotOptimize(buf.cells().data());
  }
}
void BM_DrawFrame(benchmark::State& state) { draw_frames(state, false); }
void BM_DrawFrameCold(benchmark::State& state) { draw_frames(state, true); }
BENCHMARK(BM_DrawFrame)
    ->ArgNames({"symbols", "tab"})
    ->Args({10'000, 0})
    ->Args({10'000, 7})
    ->Args({100'000, 0})
    ->Args({100'000, 7})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawFrameCold)
    ->ArgNames({"symbols", "tab"})
    ->Args({10'000, 0})
    ->Args({10'000, 7})
    ->Unit(benchmark::kMicrosecond);

// The parts on their own, to see where a frame's time goes.
void BM_Summary(benchmark::State& state) {
  auto shared = make_shared_app(size_t(state.range(0)), 0);
  tui::Buffer buf(120, 40);
  for (auto _ : state) {
    screen::render_summary(shared->app, buf, tui::Rect{0, 0, 120, 6});
    benchmark::DoNotOptimize(buf.cells().data());
  }
}
BENCHMARK(BM_Summary)->ArgName("symbols")->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void BM_Table(benchmark::State& state) {
  auto shared = make_shared_app(size_t(state.range(0)), 0);
  tui::Buffer buf(120, 40);
  for (auto _ : state) {
    screen::render_table(shared->app, buf, tui::Rect{0, 6, 120, 34});
    benchmark::DoNotOptimize(buf.cells().data());
  }
}
BENCHMARK(BM_Table)->ArgName("symbols")->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
