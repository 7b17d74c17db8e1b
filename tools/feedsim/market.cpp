#include "market.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <unordered_set>

#include "json_text.hpp"

namespace feedsim {
namespace {

// A dozen sectors: one longer than 12 bytes, one with non-ASCII letters.
constexpr std::array<const char*, 12> kSectors = {
    "Technology",  "Health Care",       "Financials",  "Energy",
    "Consumer Discretionary", "Industrials", "Materials", "Utilities",
    "Real Estate", "Communication Services", "Consumer Staples", "Télécoms"};

constexpr std::array<const char*, 28> kWords = {
    "Acme",    "Global",   "Northern", "Pacific",    "Atlas",   "Summit",   "Harbor",   "Pioneer",
    "Quantum", "Vertex",   "Silver",   "Granite",    "Orion",   "Liberty",  "Crescent", "Evergreen",
    "Bioscience", "Minerals", "Energy", "Systems",   "Networks", "Pharma",  "Capital",  "Robotics",
    "Foods",   "Logistics", "Semiconductor", "Therapeutics"};

// Some names carry non-ASCII letters (and one wide script).
constexpr std::array<const char*, 14> kForeignWords = {"Société", "Zürich",  "Ørsted",   "Nürnberg", "Québec",
                                                       "São Paulo", "Kraków", "Straße",  "Åland",    "Çelik",
                                                       "Española", "Møller", "東京",     "Genève"};

constexpr std::array<const char*, 10> kSuffixes = {"Inc",   "Corp", "Ltd", "AG",  "SA",
                                                   "Group", "plc",  "NV",  "ASA", "Holdings"};

double round_price(double p) {
  // Cents from a dollar up, hundredths of a cent below.
  const double unit = p >= 1.0 ? 100.0 : 10000.0;
  return std::max(std::round(p * unit) / unit, 0.0001);
}

std::string make_symbol(Rng& rng) {
  static constexpr std::array<int, 5> weights = {3, 10, 40, 40, 7};  // lengths 1..5, percent
  int pick = int(rng.below(100));
  int len = 1;
  for (int w : weights) {
    if (pick < w) break;
    pick -= w;
    ++len;
  }
  std::string s;
  for (int i = 0; i < len; ++i) s.push_back(char('A' + rng.below(26)));
  if (len <= 3 && rng.chance(0.02)) {  // share classes such as "BRK.B"
    s.push_back('.');
    s.push_back(char('A' + rng.below(3)));
  }
  return s;
}

std::string make_name(Rng& rng) {
  std::string name;
  const int words = 1 + int(rng.below(3));
  for (int i = 0; i < words; ++i) {
    if (!name.empty()) name += ' ';
    name += rng.chance(0.06) ? kForeignWords[rng.below(kForeignWords.size())] : kWords[rng.below(kWords.size())];
  }
  name += ' ';
  name += kSuffixes[rng.below(kSuffixes.size())];
  return name;
}

void append_int(JsonOut& out, int64_t v) { fmt::format_to(std::back_inserter(out), "{}", v); }

void append_price(JsonOut& out, double p) { append_fixed(out, p, p >= 1.0 ? 2 : 4); }

}  // namespace

Market::Market(uint64_t seed, size_t symbols, size_t afterhours_rows)
    : rng_(seed), afterhours_rows_(afterhours_rows) {
  listings_.reserve(symbols);
  std::unordered_set<std::string> seen;
  while (listings_.size() < symbols) {
    std::string sym = make_symbol(rng_);
    if (!seen.insert(sym).second) continue;
    Listing l;
    l.sym = std::move(sym);
    if (!rng_.chance(0.05)) l.name = make_name(rng_);
    if (!rng_.chance(0.06)) l.sector = kSectors[rng_.below(kSectors.size())];
    l.prev_close = round_price(std::exp(std::log(20.0) + 1.3 * rng_.normal()));
    l.prev_close = std::clamp(l.prev_close, 0.05, 3000.0);
    l.avg_vol = int64_t(std::exp(std::log(800'000.0) + 1.5 * rng_.normal())) + 1000;
    l.shares_out = int64_t(std::exp(std::log(80e6) + 1.4 * rng_.normal())) + 100'000;
    if (!rng_.chance(0.08)) l.float_shares = int64_t(double(l.shares_out) * (0.4 + 0.6 * rng_.uniform()));
    l.has_rvol = !rng_.chance(0.04);
    l.has_mcap = !rng_.chance(0.05);
    l.nulls = rng_.chance(0.5);
    l.sigma = 0.002 + 0.02 * rng_.uniform() * rng_.uniform();
    l.drift = 0.0005 * rng_.normal();
    l.activity = std::exp(1.2 * rng_.normal());
    // A few have not traded yet today: last 0 and no change.
    if (!rng_.chance(0.01)) {
      double gap = 0.02 * rng_.normal();
      if (rng_.chance(0.03)) gap = (rng_.chance(0.5) ? 1 : -1) * (0.15 + 0.4 * rng_.uniform());  // big gappers
      l.open = round_price(l.prev_close * (1.0 + gap));
      l.last = l.hod = l.open;
      const int warmup = 1 + int(rng_.below(60));  // the opening trade and some more
      for (int i = 0; i < warmup; ++i) trade(l);
    }
    listings_.push_back(std::move(l));
  }
  double total = 0;
  cumulative_activity_.reserve(listings_.size());
  for (const auto& l : listings_) cumulative_activity_.push_back(total += l.activity);
}

void Market::trade(Listing& l) {
  if (l.last == 0) {
    if (!rng_.chance(0.05)) return;  // still waiting for its first trade
    l.open = l.last = l.hod = l.prev_close;
  } else {
    l.last = round_price(l.last * std::exp(l.drift + l.sigma * rng_.normal()));
  }
  if (l.last > l.hod) {
    l.hod = l.last;
    ++l.hodc;
  }
  const double size = double(l.avg_vol) * 0.0004 * std::exp(0.8 * rng_.normal());
  const int64_t shares = std::max<int64_t>(1, int64_t(size / 100.0 + 0.5)) * 100;
  l.vol += shares;
  l.tc += 1 + shares / 400;
  l.dvol += l.last * double(shares);
}

size_t Market::pick() {
  const double x = rng_.uniform() * cumulative_activity_.back();
  const auto it = std::upper_bound(cumulative_activity_.begin(), cumulative_activity_.end(), x);
  return std::min(size_t(it - cumulative_activity_.begin()), listings_.size() - 1);
}

void Market::append_row(JsonOut& out, const Listing& l) const {
  const bool traded = l.last != 0;
  auto absent = [&](const char* member) {
    if (!l.nulls) return;
    fmt::format_to(std::back_inserter(out), ",\"{}\":null", member);
  };
  append_raw(out, "{\"sym\":");
  append_string(out, l.sym);
  if (l.name) {
    append_raw(out, ",\"name\":");
    append_string(out, *l.name);
  } else {
    absent("name");
  }
  append_raw(out, ",\"last\":");
  append_price(out, l.last);
  if (traded) {
    append_raw(out, ",\"chg\":");
    append_fixed(out, (l.last / l.prev_close - 1.0) * 100.0, 2);
  } else {
    absent("chg");
  }
  append_raw(out, ",\"vol\":");
  append_int(out, l.vol);
  if (l.has_rvol) {
    const double expected = double(l.avg_vol) * minutes() / 390.0;
    append_raw(out, ",\"rvol\":");
    append_fixed(out, double(l.vol) / expected, 2);
  } else {
    absent("rvol");
  }
  if (l.float_shares) {
    append_raw(out, ",\"float\":");
    append_int(out, *l.float_shares);
  } else {
    absent("float");
  }
  if (traded) {
    append_raw(out, ",\"gap\":");
    append_fixed(out, (l.open / l.prev_close - 1.0) * 100.0, 2);
  } else {
    absent("gap");
  }
  append_raw(out, ",\"hod\":");
  append_price(out, l.hod);
  append_raw(out, ",\"hodc\":");
  append_int(out, l.hodc);
  append_raw(out, ",\"dvol\":");
  append_fixed(out, l.dvol, 0);
  if (l.has_mcap) {
    append_raw(out, ",\"mcap\":");
    append_fixed(out, (traded ? l.last : l.prev_close) * double(l.shares_out), 0);
  } else {
    absent("mcap");
  }
  if (l.sector) {
    append_raw(out, ",\"sector\":");
    append_string(out, *l.sector);
  } else {
    absent("sector");
  }
  append_raw(out, ",\"tc\":");
  append_int(out, l.tc);
  append_raw(out, ",\"vpm\":");
  append_int(out, int64_t(double(l.vol) / minutes()));
  out.push_back('}');
}

std::string Market::snapshot() {
  JsonOut out;
  append_raw(out, R"({"type":"snapshot","symbols":[)");
  for (size_t i = 0; i < listings_.size(); ++i) {
    if (i) out.push_back(',');
    append_row(out, listings_[i]);
  }
  append_raw(out, "]}");
  return to_string(out);
}

std::string Market::update(size_t batch) {
  JsonOut out;
  append_raw(out, R"({"type":"update","symbols":[)");
  ++steps_;
  for (size_t i = 0; i < batch && !listings_.empty(); ++i) {
    Listing& l = listings_[pick()];
    trade(l);
    if (i) out.push_back(',');
    append_row(out, l);
  }
  append_raw(out, "]}");
  return to_string(out);
}

std::string Market::afterhours() {
  struct Ah {
    const Listing* l;
    double last, chg;
    int64_t vol;
  };
  std::vector<Ah> rows;
  std::unordered_set<size_t> chosen;
  for (size_t tries = 0; rows.size() < afterhours_rows_ && tries < afterhours_rows_ * 4 && !listings_.empty();
       ++tries) {
    const size_t index = rng_.below(listings_.size());
    const Listing& l = listings_[index];
    if (l.last == 0 || !chosen.insert(index).second) continue;
    const double last = round_price(l.last * (1.0 + 0.02 + std::fabs(0.12 * rng_.normal())));
    const int64_t vol = std::max<int64_t>(100, int64_t(double(l.avg_vol) * 0.02 * rng_.uniform()) / 100 * 100);
    rows.push_back({&l, last, (last / l.last - 1.0) * 100.0, vol});
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Ah& a, const Ah& b) { return a.chg > b.chg; });
  JsonOut out;
  append_raw(out, R"({"type":"afterhours","symbols":[)");
  for (size_t i = 0; i < rows.size(); ++i) {
    const Ah& r = rows[i];
    if (i) out.push_back(',');
    append_raw(out, "{\"sym\":");
    append_string(out, r.l->sym);
    if (r.l->name) {
      append_raw(out, ",\"name\":");
      append_string(out, *r.l->name);
    }
    append_raw(out, ",\"last\":");
    append_price(out, r.last);
    append_raw(out, ",\"prev\":");
    append_price(out, r.l->last);
    append_raw(out, ",\"chg\":");
    append_fixed(out, r.chg, 2);
    append_raw(out, ",\"vol\":");
    append_int(out, r.vol);
    append_raw(out, ",\"dvol\":");
    append_fixed(out, r.last * double(r.vol), 0);
    out.push_back('}');
  }
  append_raw(out, "]}");
  return to_string(out);
}

std::string Market::ping() { return R"({"type":"ping"})"; }

std::string Market::garbage(bool& binary) {
  binary = false;
  switch (garbage_count_++ % 4) {
    case 0:
      return "this is not JSON {";
    case 1: {
      // Good rows and one with a fractional volume: the whole snapshot must be dropped.
      JsonOut out;
      append_raw(out, R"({"type":"snapshot","symbols":[)");
      for (size_t i = 0; i < std::min<size_t>(2, listings_.size()); ++i) {
        append_row(out, listings_[i]);
        out.push_back(',');
      }
      append_raw(out, R"({"sym":"BAD","last":1,"vol":1.5,"hod":1,"hodc":0,"dvol":1,"tc":1,"vpm":1}]})");
      return to_string(out);
    }
    case 2:
      return R"({"type":"quote","symbols":[]})";
    default:
      binary = true;
      return std::string(R"({"type":"snapshot","symbols":[{"sym":")") + "\xff\xfe" +
             R"(","last":1,"vol":1,"hod":1,"hodc":0,"dvol":1,"tc":1,"vpm":1}]})";
  }
}

std::string Market::oversized(size_t bytes) {
  const std::string head = R"({"type":"ping","pad":")";
  const std::string tail = "\"}";
  bytes = std::max(bytes, head.size() + tail.size());
  std::string out = head;
  out.resize(bytes - tail.size(), 'x');
  out += tail;
  return out;
}

}  // namespace feedsim
