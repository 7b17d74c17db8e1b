#include <boost/unordered/unordered_flat_map.hpp>
#include <fmt/format.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "screen/formats.hpp"
#include "screen/panels.hpp"
#include "screen/top3.hpp"
#include "tui/style.hpp"
#include "tui/widgets.hpp"

namespace screen {

namespace {

using namespace tui::colors;

constexpr std::string_view kSeparator = "  ·  ";

struct SectorGroup {
  std::string_view name;
  double sum = 0.0;
  uint64_t count = 0;
};

struct Sector {
  std::string_view name;
  double avg = 0.0;
};

// Equal texts, compared eight bytes at a time: sector names are short, and a call
// to memcmp per row costs more than the comparison itself.
bool same_text(std::string_view a, std::string_view b) {
  const size_t n = a.size();
  if (n != b.size()) return false;
  if (n < 8) return a == b;
  auto word = [](const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
  };
  size_t i = 0;
  for (; i + 8 < n; i += 8)
    if (word(a.data() + i) != word(b.data() + i)) return false;
  return word(a.data() + n - 8) == word(b.data() + n - 8);  // the last, maybe overlapping, word
}

// Rows grouped by exact sector text, groups in order of first appearance. A market has
// a dozen or two sectors, so each text is first tried against the one group last found
// in its memo slot; failing that, a short scan, or a hash index once there are many
// groups.
class SectorGroups {
 public:
  void add(std::string_view name, double chg) {
    SectorGroup& g = find_or_add(name);
    g.sum += chg;
    ++g.count;
  }
  const std::vector<SectorGroup>& groups() const { return groups_; }

 private:
  static constexpr size_t kScanLimit = 32;

  SectorGroup& find_or_add(std::string_view name) {
    uint32_t& memo = memo_[slot(name)];
    if (memo != 0 && same_text(groups_[memo - 1].name, name)) return groups_[memo - 1];
    const size_t i = lookup(name);
    memo = uint32_t(i + 1);
    return groups_[i];
  }

  size_t lookup(std::string_view name) {
    if (index_.empty()) {
      for (size_t i = 0; i < groups_.size(); ++i)
        if (same_text(groups_[i].name, name)) return i;
      groups_.push_back({name});
      if (groups_.size() > kScanLimit)
        for (size_t i = 0; i < groups_.size(); ++i) index_.emplace(groups_[i].name, i);
      return groups_.size() - 1;
    }
    auto [it, fresh] = index_.try_emplace(name, groups_.size());
    if (fresh) groups_.push_back({name});
    return it->second;
  }

  // A cheap mix of length, first and last byte: sector names rarely share all three.
  static size_t slot(std::string_view name) {
    if (name.empty()) return 0;
    const size_t h = name.size() * 31 + uint8_t(name.front()) * 7 + uint8_t(name.back());
    return h % 64;
  }

  std::vector<SectorGroup> groups_;
  std::array<uint32_t, 64> memo_{};  // per slot, the index + 1 of the group last found there (0: none)
  boost::unordered_flat_map<std::string_view, size_t> index_;
};

// Everything the four lines need, gathered in one walk over the map.
struct Breadth {
  uint64_t priced = 0, up = 0, down = 0, hod_count = 0;
  SectorGroups sectors;
  // Rows, not their symbols: the symbol is read only for the three kept.
  Top3<const feed::SymbolRow*, double> leaders;
  Top3<const feed::SymbolRow*, uint64_t> breaks;
};

void take(Breadth& b, const feed::SymbolRow& row) {
  if (row.last > 0) {
    ++b.priced;
    b.leaders.offer(&row, row.dvol);
  }
  if (row.chg) {
    if (*row.chg > 0) ++b.up;
    if (*row.chg < 0) ++b.down;
    if (row.sector) b.sectors.add(*row.sector, *row.chg);
  }
  if (row.hodc != 0) {
    ++b.hod_count;
    b.breaks.offer(&row, row.hodc);
  }
}

Breadth gather(const state::SymbolMap& map) {
  Breadth b;
  // The walk is bound by memory, and the sector texts live on the heap in no
  // particular order. Each row's text is fetched as the row is reached and the row is
  // taken kAhead rows later, when the text has arrived; rows are still taken in map
  // order.
  constexpr size_t kAhead = 16;
  std::array<const feed::SymbolRow*, kAhead> pending{};
  size_t n = 0;
  for (const auto& entry : map) {
    const feed::SymbolRow& row = entry.second;
    if (row.sector) __builtin_prefetch(row.sector->data());
    const size_t slot = n++ % kAhead;
    if (n > kAhead) take(b, *pending[slot]);
    pending[slot] = &row;
  }
  for (size_t i = n > kAhead ? n - kAhead : 0; i < n; ++i) take(b, *pending[i % kAhead]);
  return b;
}

// The first `max_bytes` bytes of `text`, moved back to the start of a UTF-8 character
// that would otherwise be split.
std::string_view cut_bytes(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  auto continuation = [&](size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
  size_t cut = max_bytes;
  // A character is at most four bytes: look back over at most three continuations.
  size_t lead = cut;
  while (lead > 0 && cut - lead < 3 && continuation(lead)) --lead;
  if (lead < cut && !continuation(lead)) {
    const unsigned char c = static_cast<unsigned char>(text[lead]);
    const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (lead + len > cut) cut = lead;
  }
  return text.substr(0, cut);
}

tui::Line status_line(const state::App& app, const Breadth& b) {
  const uint64_t flat = b.priced > b.up + b.down ? b.priced - b.up - b.down : 0;
  return {
      {"●", tui::fg(app.connected ? kGreen : kRed)},
      {fmt::format(" {}  │  {} symbols  │  ", app.connected ? "Connected" : "Disconnected", b.priced), {}},
      {fmt::format("▲ {}", b.up), tui::fg(kGreen)},
      {"  ", {}},
      {fmt::format("▼ {}", b.down), tui::fg(kRed)},
      {"  ", {}},
      {fmt::format("─ {}", flat), tui::fg(kDarkGray)},
  };
}

tui::Line sector_line(const Breadth& b) {
  tui::Line line = {{"Sectors:  ", tui::fg(kDarkGray)}};
  if (b.sectors.groups().empty()) {
    line.push_back({"no data", tui::fg(kDarkGray)});
    return line;
  }
  Top3<Sector, double> top;
  for (const SectorGroup& g : b.sectors.groups()) {
    const double avg = g.sum / double(g.count);
    top.offer({g.name, avg}, std::fabs(avg));
  }
  bool first = true;
  for (const Sector& s : top.items()) {
    if (!first) line.push_back({std::string(kSeparator), {}});
    first = false;
    line.push_back({fmt::format("{} ", cut_bytes(s.name, 12)), {}});
    const tui::Color c = s.avg > 0 ? kGreen : s.avg < 0 ? kRed : kWhite;
    line.push_back({fmt_pct(s.avg), tui::fg(c)});
  }
  return line;
}

tui::Line leaders_line(const Breadth& b) {
  tui::Line line = {{"$ Leaders:  ", tui::fg(kDarkGray)}};
  if (b.priced == 0) {
    line.push_back({"no data", tui::fg(kDarkGray)});
    return line;
  }
  bool first = true;
  for (const feed::SymbolRow* r : b.leaders.items()) {
    if (!first) line.push_back({std::string(kSeparator), {}});
    first = false;
    line.push_back({r->sym, tui::fg(kWhite).with_bold()});
    line.push_back({" " + fmt_dollars(r->dvol), {}});
  }
  return line;
}

tui::Line breaks_line(const Breadth& b) {
  tui::Line line = {{"HOD Breaks:  ", tui::fg(kDarkGray)}, {fmt::format("{} symbols", b.hod_count), {}}};
  if (b.hod_count == 0) return line;
  line.push_back({"  ·  Top: ", {}});
  bool first = true;
  for (const feed::SymbolRow* r : b.breaks.items()) {
    if (!first) line.push_back({"  ", {}});
    first = false;
    line.push_back({r->sym, tui::fg(kYellow).with_bold()});
    line.push_back({fmt::format(" {}x", r->hodc), tui::fg(kYellow)});
  }
  return line;
}

}  // namespace

void render_summary(const state::App& app, tui::Buffer& buf, tui::Rect area) {
  if (area.empty()) return;
  const tui::Rect inner = tui::draw_box(buf, area, " Ambertide Scanner ");
  const Breadth b = gather(app.symbol_map);
  const std::array<tui::Line, 4> lines = {status_line(app, b), sector_line(b), leaders_line(b),
                                          breaks_line(b)};
  tui::draw_paragraph(buf, inner, lines);
}

}  // namespace screen
