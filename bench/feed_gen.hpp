#pragma once
// Realistic generated feed data for benchmarks: symbols of 1-5 letters, names of
// 10-40 bytes (some non-ASCII), a dozen sectors, numbers with fractions.
#include <fmt/format.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "feed/records.hpp"

namespace bench_gen {

inline const std::vector<std::string>& sectors() {
  static const std::vector<std::string> s = {
      "Technology Services", "Finance", "Health Technology", "Energy Minerals", "Retail Trade",
      "Utilities", "Transportation", "Consumer Durables", "Électronique", "Communications",
      "Producer Manufacturing", "Non-Energy Minerals"};
  return s;
}

inline std::vector<feed::SymbolRow> generate_rows(size_t n, uint64_t seed = 42) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> letter('A', 'Z');
  std::uniform_int_distribution<int> len(1, 5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  static const char* words[] = {"Acme", "Global", "Holdings", "Systèmes", "Nordic", "Société",
                                "Pharma", "Energy", "Group", "Industries", "Zürich", "Capital",
                                "Tech", "Mining", "Bancorp", "Ltd", "Inc", "Straße"};
  std::unordered_set<std::string> seen;
  std::vector<feed::SymbolRow> rows;
  rows.reserve(n);
  while (rows.size() < n) {
    std::string sym;
    const int l = len(rng);
    for (int i = 0; i < l; ++i) sym.push_back(char(letter(rng)));
    if (!seen.insert(sym).second) {
      sym += fmt::format("{}", rows.size());  // keep symbols unique once short ones run out
      if (sym.size() > 5) sym = fmt::format("Z{}", rows.size());
      if (!seen.insert(sym).second) continue;
    }
    feed::SymbolRow r;
    r.sym = std::move(sym);
    std::string name;
    while (name.size() < 10 + rng() % 31) {
      if (!name.empty()) name += ' ';
      name += words[rng() % (sizeof(words) / sizeof(words[0]))];
    }
    if (name.size() > 40) name.resize(40);
    while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80) name.pop_back();
    if (!name.empty() && static_cast<unsigned char>(name.back()) >= 0xC0) name.pop_back();
    r.name = std::move(name);
    r.last = 0.5 + unit(rng) * 400.0;
    r.chg = (unit(rng) - 0.5) * 20.0;
    r.vol = int64_t(unit(rng) * 5e7);
    r.rvol = unit(rng) * 6.0;
    r.float_ = int64_t(1e6 + unit(rng) * 5e9);
    r.gap = (unit(rng) - 0.5) * 10.0;
    r.hod = r.last * (1.0 + unit(rng) * 0.05);
    r.hodc = uint32_t(rng() % 4 == 0 ? rng() % 40 : 0);
    r.dvol = r.last * double(r.vol);
    r.mcap = r.last * double(*r.float_);
    r.sector = sectors()[rng() % sectors().size()];
    r.tc = int64_t(unit(rng) * 2e5);
    r.vpm = int64_t(unit(rng) * 1e5);
    rows.push_back(std::move(r));
  }
  return rows;
}

inline void append_json_string(std::string& out, const std::string& s) {
  out += '"';
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

// One message of `type` ("snapshot" or "update") carrying `rows`, every member written.
inline std::string to_json(const std::vector<feed::SymbolRow>& rows, const char* type = "snapshot") {
  std::string out = fmt::format("{{\"type\":\"{}\",\"symbols\":[", type);
  bool first = true;
  for (const auto& r : rows) {
    if (!first) out += ',';
    first = false;
    out += "{\"sym\":";
    append_json_string(out, r.sym);
    out += ",\"name\":";
    append_json_string(out, r.name.value_or(""));
    fmt::format_to(std::back_inserter(out),
                   ",\"last\":{:.2f},\"chg\":{:.3f},\"vol\":{},\"rvol\":{:.2f},\"float\":{},\"gap\":{:.3f},"
                   "\"hod\":{:.2f},\"hodc\":{},\"dvol\":{:.1f},\"mcap\":{:.1f},\"sector\":",
                   r.last, r.chg.value_or(0), r.vol, r.rvol.value_or(0), r.float_.value_or(0),
                   r.gap.value_or(0), r.hod, r.hodc, r.dvol, r.mcap.value_or(0));
    append_json_string(out, r.sector.value_or(""));
    fmt::format_to(std::back_inserter(out), ",\"tc\":{},\"vpm\":{}}}", r.tc, r.vpm);
  }
  out += "]}";
  return out;
}

}  // namespace bench_gen
