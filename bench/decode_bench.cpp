// Feed decoding throughput against simdjson's bare DOM parse of the same text: the parse
// is the floor no decoder of this format can beat, so the ratio shows what building the
// rows costs.
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <string>
#include <vector>

#include "feed/decode.hpp"
#include "feed_gen.hpp"

namespace {

const std::string& message_text(size_t rows) {
  static const std::string snapshot = bench_gen::to_json(bench_gen::generate_rows(10'000), "snapshot");
  static const std::string update = bench_gen::to_json(bench_gen::generate_rows(100, 7), "update");
  return rows == 10'000 ? snapshot : update;
}

void report(benchmark::State& state, const std::string& text, size_t rows) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.counters["rows/s"] = benchmark::Counter(double(state.iterations()) * double(rows),
                                                benchmark::Counter::kIsRate);
  state.counters["bytes"] = double(text.size());
}

// The decoded rows are freed outside the timing: in the program they are moved into the
// state, and what they cost to free is paid there, when they are replaced. Small results
// are freed in batches, so that pausing the clock does not weigh on their figure.
template <feed::DecodeResult (*decode)(std::string_view)>
void run_decode(benchmark::State& state, const std::string& text, size_t rows) {
  const size_t batch = rows >= 1000 ? 1 : 64;
  std::vector<feed::DecodeResult> results;
  results.reserve(batch);
  for (auto _ : state) {
    results.push_back(decode(text));
    if (!std::holds_alternative<feed::WsMessage>(results.back())) {
      state.SkipWithError("the generated message did not decode");
      break;
    }
    if (results.size() == batch) {
      state.PauseTiming();
      results.clear();
      state.ResumeTiming();
    }
  }
  report(state, text, rows);
}

void BM_Decode(benchmark::State& state) {
  const size_t rows = size_t(state.range(0));
  run_decode<feed::decode_message>(state, message_text(rows), rows);
}

// The same with the caller's buffer already padded: no copy into the parser.
void BM_DecodePadded(benchmark::State& state) {
  const size_t rows = size_t(state.range(0));
  std::string text = message_text(rows);
  text.reserve(text.size() + feed::kDecodePadding);
  run_decode<feed::decode_message_padded>(state, text, rows);
}

void BM_BareParse(benchmark::State& state) {
  const size_t rows = size_t(state.range(0));
  const std::string& text = message_text(rows);
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    if (parser.parse(text.data(), text.size(), true).get(root) != simdjson::SUCCESS) {
      state.SkipWithError("the generated message did not parse");
      break;
    }
    benchmark::DoNotOptimize(root);
  }
  report(state, text, rows);
}

BENCHMARK(BM_Decode)->Arg(10'000)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodePadded)->Arg(10'000)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareParse)->Arg(10'000)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
