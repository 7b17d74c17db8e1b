// The drawing layer's own costs: filling a frame's cells, and the diff writer on a
// screen that did not change, changed in one cell, or must be painted whole.
#include <benchmark/benchmark.h>

#include <string>

#include "tui/buffer.hpp"
#include "tui/terminal.hpp"
#include "tui/widgets.hpp"

namespace {

class NullOutput final : public tui::Output {
 public:
  explicit NullOutput(tui::Size size) : size_(size) {}
  tui::Status write(std::string_view b) override {
    bytes += b.size();
    return {};
  }
  tui::Status flush() override { return {}; }
  tui::Result<tui::Size> size() override { return size_; }
  size_t bytes = 0;

 private:
  tui::Size size_;
};

const tui::Style kStripe = tui::Style{}.with_bg(tui::Color::rgb(20, 20, 28));

// A table-like screen: a box, then rows of ASCII cells on alternating backgrounds.
void render_screen(tui::Buffer& b, int tick) {
  const tui::Rect inner = tui::draw_box(b, b.area(), " Ambertide Scanner ");
  for (uint16_t y = inner.y; y < inner.bottom(); ++y) {
    const uint16_t row = uint16_t(y - inner.y);
    if (row % 2 == 1) b.set_style(tui::Rect{inner.x, y, inner.width, 1}, kStripe);
    uint16_t x = inner.x;
    for (int col = 0; x < inner.right(); ++col) {
      const std::string text = col == 1 && row == 3 ? std::to_string(189500 + tick) : " ABCD    189.50";
      x = uint16_t(b.set_string(x, y, text, tui::fg(tui::colors::kGreen), uint16_t(inner.right() - x)) + 1);
    }
  }
}

void BM_SetStringAscii(benchmark::State& state) {
  tui::Buffer buf(300, 1);
  const std::string text(300, 'x');
  for (auto _ : state) {
    buf.set_string(0, 0, text, tui::fg(tui::colors::kGreen));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 300);
}
BENCHMARK(BM_SetStringAscii);

void BM_SetStringUnicode(benchmark::State& state) {
  tui::Buffer buf(300, 1);
  std::string text;
  while (text.size() < 600) text += "Société Zürich 中文 ";
  for (auto _ : state) {
    buf.set_string(0, 0, text, tui::fg(tui::colors::kGreen));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SetStringUnicode);

void BM_RenderFrame(benchmark::State& state) {
  tui::Buffer buf(uint16_t(state.range(0)), uint16_t(state.range(1)));
  for (auto _ : state) {
    buf.reset();
    render_screen(buf, 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RenderFrame)->Args({120, 40})->Args({300, 100})->Unit(benchmark::kMicrosecond);

// Whole draws (render included); bytes/frame is what reaches the terminal.
void BM_DrawUnchanged(benchmark::State& state) {
  const tui::Size size{uint16_t(state.range(0)), uint16_t(state.range(1))};
  NullOutput out(size);
  tui::Terminal term = std::move(tui::Terminal::create(out)).value();
  (void)term.draw([](tui::Buffer& b) { render_screen(b, 0); });
  out.bytes = 0;
  for (auto _ : state) {
    if (!term.draw([](tui::Buffer& b) { render_screen(b, 0); }).ok()) state.SkipWithError("draw failed");
  }
  state.counters["bytes/frame"] = double(out.bytes) / double(state.iterations());
}
BENCHMARK(BM_DrawUnchanged)->Args({120, 40})->Args({300, 100})->Unit(benchmark::kMicrosecond);

void BM_DrawOneCellChanged(benchmark::State& state) {
  const tui::Size size{uint16_t(state.range(0)), uint16_t(state.range(1))};
  NullOutput out(size);
  tui::Terminal term = std::move(tui::Terminal::create(out)).value();
  int tick = 0;
  (void)term.draw([&](tui::Buffer& b) { render_screen(b, tick); });
  out.bytes = 0;
  for (auto _ : state) {
    ++tick;  // the last digit of one number changes every frame
    if (!term.draw([&](tui::Buffer& b) { render_screen(b, tick); }).ok()) state.SkipWithError("draw failed");
  }
  state.counters["bytes/frame"] = double(out.bytes) / double(state.iterations());
}
BENCHMARK(BM_DrawOneCellChanged)->Args({120, 40})->Args({300, 100})->Unit(benchmark::kMicrosecond);

void BM_DrawFullRepaint(benchmark::State& state) {
  const uint16_t w = uint16_t(state.range(0)), h = uint16_t(state.range(1));
  tui::Size sizes[2] = {{w, h}, {uint16_t(w - 1), h}};
  struct Flip final : tui::Output {
    tui::Size* sizes;
    int n = 0;
    size_t bytes = 0;
    tui::Status write(std::string_view b) override {
      bytes += b.size();
      return {};
    }
    tui::Status flush() override { return {}; }
    tui::Result<tui::Size> size() override { return sizes[n++ % 2]; }
  } out;
  out.sizes = sizes;
  tui::Terminal term = std::move(tui::Terminal::create(out)).value();
  for (auto _ : state) {
    if (!term.draw([](tui::Buffer& b) { render_screen(b, 0); }).ok()) state.SkipWithError("draw failed");
  }
  state.counters["bytes/frame"] = double(out.bytes) / double(state.iterations());
}
BENCHMARK(BM_DrawFullRepaint)->Args({120, 40})->Args({300, 100})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
