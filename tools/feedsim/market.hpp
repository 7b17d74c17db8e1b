#pragma once
// A simulated trading day for a set of symbols, and the feed messages that describe it.
// Everything follows from the seed: two markets made with the same seed and asked for
// the same messages in the same order produce the same texts.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "random.hpp"

namespace feedsim {

struct Listing {
  std::string sym;
  std::optional<std::string> name;
  std::optional<std::string> sector;
  double prev_close = 0;  // yesterday's close
  double open = 0;        // 0 until the first trade
  double last = 0;        // 0 until the first trade
  double hod = 0;
  uint32_t hodc = 0;      // new highs of the day so far
  int64_t vol = 0;
  double dvol = 0;
  int64_t tc = 0;
  int64_t avg_vol = 0;    // average daily volume, for rvol
  int64_t shares_out = 0;
  std::optional<int64_t> float_shares;
  bool has_rvol = true;
  bool has_mcap = true;
  bool nulls = false;     // writes its absent members as null instead of leaving them out
  double sigma = 0;       // volatility per step
  double drift = 0;
  double activity = 1;    // how often it trades, relative
};

class Market {
 public:
  Market(uint64_t seed, size_t symbols, size_t afterhours_rows);

  const std::vector<Listing>& listings() const { return listings_; }

  std::string snapshot();             // every symbol
  std::string afterhours();           // a fresh after-hours gainers list
  std::string update(size_t batch);   // trades `batch` symbols and lists them
  static std::string ping();

  // Feed texts that a client must drop without losing its connection, in turn: not
  // JSON, a snapshot with one malformed row, an unknown type. The fourth kind is a
  // binary payload that is not UTF-8 (binary is set).
  std::string garbage(bool& binary);
  // A valid ping of exactly `bytes` bytes (at least 32), for size limits.
  static std::string oversized(size_t bytes);

 private:
  void trade(Listing& l);
  void append_row(fmt::memory_buffer& out, const Listing& l) const;
  double minutes() const { return 30.0 + double(steps_) * 0.05; }  // since the open
  size_t pick();

  Rng rng_;
  std::vector<Listing> listings_;
  std::vector<double> cumulative_activity_;
  size_t afterhours_rows_;
  uint64_t steps_ = 0;
  uint64_t garbage_count_ = 0;
};

}  // namespace feedsim
