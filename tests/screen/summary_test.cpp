#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "screen/panels.hpp"
#include "screen_support.hpp"
#include "state/app.hpp"

namespace screen {
namespace {

using namespace screen_test;
using namespace tui::colors;

std::string boxed(const std::string& text, size_t inner) {
  return "│" + text + std::string(inner - tui::text_width(text), ' ') + "│";
}
std::string dashes(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += "─";
  return s;
}

tui::Buffer render(const state::App& app, uint16_t width = 80, uint16_t height = 6) {
  tui::Buffer buf(width, height);
  render_summary(app, buf, buf.area());
  return buf;
}

// The text of inner line `n` (1 to 4), trailing blanks removed.
std::string line(const tui::Buffer& buf, uint16_t n) {
  std::string s = cells_text(buf, n, 1, buf.width() - 2);
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

feed::SymbolRow row(std::string sym, double last, std::optional<double> chg = {},
                    std::optional<std::string> sector = {}, double dvol = 0, uint32_t hodc = 0) {
  feed::SymbolRow r = sym_row(std::move(sym), last);
  r.chg = chg;
  r.sector = std::move(sector);
  r.dvol = dvol;
  r.hodc = hodc;
  return r;
}

void add(state::App& app, const feed::SymbolRow& r) { app.symbol_map.insert_or_assign(r.sym, r); }

TEST(Summary, EmptyAndDisconnected) {
  const state::App app(50);
  const tui::Buffer buf = render(app);
  EXPECT_EQ(buf.to_string(), "┌ Ambertide Scanner " + dashes(59) + "┐\n" +
                                 boxed("● Disconnected  │  0 symbols  │  ▲ 0  ▼ 0  ─ 0", 78) + "\n" +
                                 boxed("Sectors:  no data", 78) + "\n" +
                                 boxed("$ Leaders:  no data", 78) + "\n" +
                                 boxed("HOD Breaks:  0 symbols", 78) + "\n" +
                                 "└" + dashes(78) + "┘");
  EXPECT_TRUE(text_looks(buf, 1, "●", fg_look(kRed)));
  EXPECT_TRUE(text_looks(buf, 1, " Disconnected  │  0 symbols  │  ", Look{}));
  EXPECT_TRUE(text_looks(buf, 1, "▲ 0", fg_look(kGreen)));
  EXPECT_TRUE(text_looks(buf, 1, "▼ 0", fg_look(kRed)));
  EXPECT_TRUE(text_looks(buf, 1, "─ 0", fg_look(kDarkGray)));
  EXPECT_TRUE(text_looks(buf, 2, "Sectors:  no data", fg_look(kDarkGray)));
  EXPECT_TRUE(text_looks(buf, 3, "$ Leaders:  no data", fg_look(kDarkGray)));
  EXPECT_TRUE(text_looks(buf, 4, "HOD Breaks:  ", fg_look(kDarkGray)));
  EXPECT_TRUE(text_looks(buf, 4, "0 symbols", Look{}));
  EXPECT_TRUE(text_looks(buf, 0, " Ambertide Scanner ", Look{}));
}

TEST(Summary, BreadthCounts) {
  state::App app(50);
  app.connected = true;
  add(app, row("UP1", 10, 1.0));
  add(app, row("UP2", 10, 0.5));
  add(app, row("DN", 10, -0.04));
  add(app, row("FLAT", 10, 0.0));
  add(app, row("NOCHG", 10));
  add(app, row("NOPX", 0));  // no price: not counted as priced
  const tui::Buffer buf = render(app);
  EXPECT_EQ(line(buf, 1), "● Connected  │  5 symbols  │  ▲ 2  ▼ 1  ─ 2");
  EXPECT_TRUE(text_looks(buf, 1, "●", fg_look(kGreen)));
  EXPECT_TRUE(text_looks(buf, 1, " Connected  │  5 symbols  │  ", Look{}));
  EXPECT_TRUE(text_looks(buf, 1, "▲ 2", fg_look(kGreen)));
  EXPECT_TRUE(text_looks(buf, 1, "▼ 1", fg_look(kRed)));
  EXPECT_TRUE(text_looks(buf, 1, "─ 2", fg_look(kDarkGray)));
}

TEST(Summary, UnpricedRowsCountEverywhereButPricedAndLeaders) {
  state::App app(50);
  add(app, row("AAA", 0, 1.5, "Tech", 5e6, 4));
  add(app, row("BBB", 0, 1.5, "Tech", 6e6, 0));
  const tui::Buffer buf = render(app);
  EXPECT_EQ(line(buf, 1), "● Disconnected  │  0 symbols  │  ▲ 2  ▼ 0  ─ 0");  // 0 - 2 shown as 0
  EXPECT_EQ(line(buf, 2), "Sectors:  Tech +1.5%");
  EXPECT_EQ(line(buf, 3), "$ Leaders:  no data");
  EXPECT_EQ(line(buf, 4), "HOD Breaks:  1 symbols  ·  Top: AAA 4x");
}

TEST(Summary, Sectors) {
  struct Member {
    std::optional<std::string> sector;
    std::optional<double> chg;
  };
  const struct {
    const char* what;
    std::vector<Member> rows;
    const char* want;
  } cases[] = {
      {"average of zero", {{"Zero", 2.0}, {"Zero", -2.0}}, "Sectors:  Zero +0.0%"},
      {"by absolute average", {{"Up", 2.1}, {"Down", -3.4}}, "Sectors:  Down -3.4%  ·  Up +2.1%"},
      {"mean of the group", {{"Mix", 1.0}, {"Mix", 2.0}, {"Mix", 4.0}}, "Sectors:  Mix +2.3%"},
      {"three of four",
       {{"A", 1.0}, {"B", -4.0}, {"C", 3.0}, {"D", 2.0}},
       "Sectors:  B -4.0%  ·  C +3.0%  ·  D +2.0%"},
      {"cut to 12 bytes", {{"Technology Services", 1.0}}, "Sectors:  Technology S +1.0%"},
      {"exactly 12 bytes", {{"ABCDEFGHIJé", 1.0}}, "Sectors:  ABCDEFGHIJé +1.0%"},
      {"2-byte character across the cut", {{"ABCDEFGHIJKé", 1.0}}, "Sectors:  ABCDEFGHIJK +1.0%"},
      {"3-byte character across the cut", {{"ABCDEFGHIJ€x", 1.0}}, "Sectors:  ABCDEFGHIJ +1.0%"},
      {"4-byte character across the cut", {{"ABCDEFGHI\xF0\x9F\x98\x80x", 1.0}}, "Sectors:  ABCDEFGHI +1.0%"},
      {"case-sensitive groups", {{"tech", 1.0}, {"Tech", -2.0}}, "Sectors:  Tech -2.0%  ·  tech +1.0%"},
      {"empty sector text is a group", {{"", 5.0}}, "Sectors:   +5.0%"},
      {"rows without change or sector are left out",
       {{std::nullopt, 9.0}, {"NoChg", std::nullopt}, {"S", -1.0}},
       "Sectors:  S -1.0%"},
      {"no group", {{std::nullopt, 9.0}, {"NoChg", std::nullopt}}, "Sectors:  no data"},
  };
  for (const auto& c : cases) {
    state::App app(50);
    int i = 0;
    for (const auto& m : c.rows) add(app, row(fmt::format("S{}", i++), 1, m.chg, m.sector));
    EXPECT_EQ(line(render(app, 120), 2), c.want) << c.what;
  }
}

// Past a few dozen sectors the grouping switches to a hash index; the groups and
// their order of first appearance must not change with it.
TEST(Summary, ManySectors) {
  state::App app(50);
  for (int i = 0; i < 200; ++i) {
    const int sector = i % 50;
    // Sector 17 averages -9.0, sector 42 averages 8.0 and sector 3 averages 7.0 (each
    // over its four rows); every other sector averages 1.0.
    double chg = 1.0;
    if (sector == 17) chg = i < 100 ? -8.0 : -10.0;
    if (sector == 42) chg = 8.0;
    if (sector == 3) chg = i < 100 ? 6.0 : 8.0;
    add(app, row(fmt::format("R{}", i), 1, chg, fmt::format("Sector{}", sector)));
  }
  EXPECT_EQ(line(render(app, 120), 2), "Sectors:  Sector17 -9.0%  ·  Sector42 +8.0%  ·  Sector3 +7.0%");
}

TEST(Summary, SectorColours) {
  state::App app(50);
  add(app, row("A", 1, -3.4, "Down"));
  add(app, row("B", 1, 2.1, "Up"));
  add(app, row("C", 1, 2.0, "Zero"));
  add(app, row("D", 1, -2.0, "Zero"));
  const tui::Buffer buf = render(app);
  EXPECT_EQ(line(buf, 2), "Sectors:  Down -3.4%  ·  Up +2.1%  ·  Zero +0.0%");
  EXPECT_TRUE(text_looks(buf, 2, "Sectors:  ", fg_look(kDarkGray)));
  EXPECT_TRUE(text_looks(buf, 2, "Down ", Look{}));
  EXPECT_TRUE(text_looks(buf, 2, "-3.4%", fg_look(kRed)));
  EXPECT_TRUE(text_looks(buf, 2, "  ·  ", Look{}));
  EXPECT_TRUE(text_looks(buf, 2, "+2.1%", fg_look(kGreen)));
  EXPECT_TRUE(text_looks(buf, 2, "+0.0%", fg_look(kWhite)));
}

TEST(Summary, DollarVolumeLeaders) {
  state::App app(50);
  add(app, row("MID", 5, {}, {}, 999.4));
  add(app, row("TOP", 5, {}, {}, 2'500'000));
  add(app, row("LOW", 5, {}, {}, 10));
  add(app, row("TWO", 5, {}, {}, 1'500));
  add(app, row("GONE", 0, {}, {}, 9e9));  // no price: never a leader
  tui::Buffer buf = render(app);
  EXPECT_EQ(line(buf, 3), "$ Leaders:  TOP $2.5M  ·  TWO $2K  ·  MID $999");
  EXPECT_TRUE(text_looks(buf, 3, "$ Leaders:  ", fg_look(kDarkGray)));
  EXPECT_TRUE(text_looks(buf, 3, "TOP", fg_look(kWhite, true)));
  EXPECT_TRUE(text_looks(buf, 3, " $2.5M", Look{}));
  EXPECT_TRUE(text_looks(buf, 3, "  ·  ", Look{}));

  state::App two(50);
  add(two, row("A", 5, {}, {}, 1e6));
  add(two, row("B", 5, {}, {}, 2e6));
  EXPECT_EQ(line(render(two), 3), "$ Leaders:  B $2.0M  ·  A $1.0M");
}

TEST(Summary, HighOfDayBreaks) {
  state::App app(50);
  add(app, row("SEVEN", 5, {}, {}, 0, 7));
  add(app, row("THREE", 5, {}, {}, 0, 3));
  add(app, row("TWELVE", 0, {}, {}, 0, 12));  // counted whether priced or not
  add(app, row("ONE", 5, {}, {}, 0, 1));
  add(app, row("NONE", 5, {}, {}, 0, 0));
  const tui::Buffer buf = render(app);
  EXPECT_EQ(line(buf, 4), "HOD Breaks:  4 symbols  ·  Top: TWELVE 12x  SEVEN 7x  THREE 3x");
  EXPECT_TRUE(text_looks(buf, 4, "HOD Breaks:  ", fg_look(kDarkGray)));
  EXPECT_TRUE(text_looks(buf, 4, "4 symbols  ·  Top: ", Look{}));
  EXPECT_TRUE(text_looks(buf, 4, "TWELVE", fg_look(kYellow, true)));
  EXPECT_TRUE(text_looks(buf, 4, " 12x", fg_look(kYellow)));
  EXPECT_TRUE(text_looks(buf, 4, "SEVEN", fg_look(kYellow, true)));
  EXPECT_TRUE(text_looks(buf, 4, " 3x", fg_look(kYellow)));

  state::App one(50);
  add(one, row("SOLO", 5, {}, {}, 0, 2));
  EXPECT_EQ(line(render(one), 4), "HOD Breaks:  1 symbols  ·  Top: SOLO 2x");
}

// Ties keep the map's iteration order, as a stable sort of the walked rows would.
TEST(Summary, TiesKeepMapOrder) {
  state::App app(50);
  for (int i = 0; i < 40; ++i) {
    add(app, row(fmt::format("T{}", i), 5, 1.0, fmt::format("Sec{}", i % 8), i % 3 == 0 ? 7e6 : 1e6, i % 2 ? 5 : 2));
  }
  std::vector<std::string> dvol_order, hod_order, sector_order;
  for (const auto& [sym, r] : app.symbol_map) {
    if (r.dvol == 7e6 && dvol_order.size() < 3) dvol_order.push_back(sym);
    if (r.hodc == 5 && hod_order.size() < 3) hod_order.push_back(sym);
    const std::string& s = *r.sector;
    if (sector_order.size() < 3 && std::find(sector_order.begin(), sector_order.end(), s) == sector_order.end())
      sector_order.push_back(s);
  }
  const tui::Buffer buf = render(app, 120);
  EXPECT_EQ(line(buf, 3), fmt::format("$ Leaders:  {} $7.0M  ·  {} $7.0M  ·  {} $7.0M", dvol_order[0],
                                      dvol_order[1], dvol_order[2]));
  EXPECT_EQ(line(buf, 4), fmt::format("HOD Breaks:  40 symbols  ·  Top: {} 5x  {} 5x  {} 5x", hod_order[0],
                                      hod_order[1], hod_order[2]));
  EXPECT_EQ(line(buf, 2), fmt::format("Sectors:  {} +1.0%  ·  {} +1.0%  ·  {} +1.0%", sector_order[0],
                                      sector_order[1], sector_order[2]));
}

TEST(Summary, ShortBandCutsTheLowerLines) {
  state::App app(50);
  const tui::Buffer buf = render(app, 60, 4);
  EXPECT_EQ(buf.to_string(), "┌ Ambertide Scanner " + dashes(39) + "┐\n" +
                                 boxed("● Disconnected  │  0 symbols  │  ▲ 0  ▼ 0  ─ 0", 58) + "\n" +
                                 boxed("Sectors:  no data", 58) + "\n" + "└" + dashes(58) + "┘");
}

TEST(Summary, NarrowBandCutsAtTheRightEdge) {
  state::App app(50);
  EXPECT_EQ(line(render(app, 22), 1), "● Disconnected  │  0");
}

}  // namespace
}  // namespace screen
