#include <gtest/gtest.h>

#include <fmt/format.h>

#include <string>
#include <vector>

#include "screen/panels.hpp"
#include "screen_support.hpp"
#include "state/app.hpp"
#include "state/tabs.hpp"

namespace screen {
namespace {

using namespace screen_test;
using namespace tui::colors;

const tui::Color kStripe = tui::Color::rgb(20, 20, 28);
const std::vector<uint16_t> kSymbolWidths = {7, 8, 8, 8, 7, 8, 8, 7, 8, 7};
const std::vector<uint16_t> kAhWidths = {7, 8, 8, 8, 8, 8};
const std::vector<std::string> kSymbolHeader = {" Sym   ", " Last   ", " Chg%   ", " Vol    ", " RVol  ",
                                                " Gap%   ", " HOD    ", " HOD#  ", " $Vol   ", " VPM   "};
const std::vector<std::string> kAhHeader = {" Sym   ", " Last   ", " Chg%   ", " Prev   ", " Vol    ", " $Vol   "};
const std::string kTabBar = "[1:Volume] [2:Gainers] [3:Losers] [4:Gaps] [5:Active] [6:HOD] [7:Vol/Min] [8:All] [9:AH]";
const std::string kKeys = "1-9:tabs  ↑↓jk:scroll  PgUp/PgDn:page  /:search  Esc:clear  q:quit  ";

std::string join(const std::vector<std::string>& cells) {
  std::string s;
  for (const auto& c : cells) s += (s.empty() ? "" : " ") + c;
  return s;
}

// One inner line of the box: text padded to `inner` columns between the side borders.
std::string boxed(const std::string& text, size_t inner) {
  return "│" + text + std::string(inner - tui::text_width(text), ' ') + "│";
}
std::string border(const char* left, const char* right, size_t inner) {
  std::string s = left;
  for (size_t i = 0; i < inner; ++i) s += "─";
  return s + right;
}

tui::Buffer render(const state::App& app, uint16_t width, uint16_t height) {
  tui::Buffer buf(width, height);
  render_table(app, buf, buf.area());
  return buf;
}

std::vector<std::string> lines_of(const tui::Buffer& buf) {
  std::vector<std::string> out;
  for (uint16_t y = 0; y < buf.height(); ++y) out.push_back(row_text(buf, y));
  return out;
}

// Every column of row `y` from x 1 shows the cell looks in turn (on the row's
// background), the gaps and the remaining width the row's own look.
void expect_row_looks(const tui::Buffer& buf, uint16_t y, const std::vector<uint16_t>& widths,
                      const std::vector<Look>& cells, const Look& row) {
  uint16_t x = 1;
  for (size_t i = 0; i < widths.size(); ++i) {
    if (i > 0) {
      EXPECT_EQ(look(buf, x, y), row) << "gap before column " << i << " row " << y;
      ++x;
    }
    Look want = cells[i];
    want.bg = row.bg;
    for (uint16_t k = 0; k < widths[i]; ++k, ++x) EXPECT_EQ(look(buf, x, y), want) << "column " << i << " row " << y;
  }
  for (; x < buf.width() - 1; ++x) EXPECT_EQ(look(buf, x, y), row) << "rest, row " << y;
}

const Look kPlainRow{};
const Look kStripedRow{{}, kStripe, false, false};

feed::SymbolRow worked_symbol_row() {
  feed::SymbolRow r;
  r.sym = "ABCD";
  r.last = 189.5;
  r.chg = 2.345;
  r.vol = 1234567;
  r.rvol = 2.5;
  r.hod = 190.25;
  r.hodc = 3;
  r.dvol = 234000000;
  r.vpm = 12345;
  return r;
}

TEST(Table, WorkedSymbolRow) {
  state::App app(50);
  feed::SymbolRow second = sym_row("EF", 0.5);  // lower volume: second in "1:Volume"
  second.vol = 10;
  app.symbol_map.emplace("ABCD", worked_symbol_row());
  app.symbol_map.emplace("EF", second);

  const tui::Buffer buf = render(app, 100, 9);
  const std::vector<std::string> abcd = {" ABCD  ", "  189.50", "   +2.3%", "    1.2M", "   2.5x",
                                         "       -", "  190.25", "      3", " $234.0M", "    12K"};
  const std::vector<std::string> ef = {" EF    ", "  0.5000", "       -", "      10", "      -",
                                       "       -", "       -", "      0", "      $0", "      0"};
  const std::vector<std::string> want = {
      border("┌", "┐", 98),
      boxed(kTabBar, 98),
      boxed("", 98),
      boxed(join(kSymbolHeader), 98),
      boxed(join(abcd), 98),
      boxed(join(ef), 98),
      boxed("", 98),
      boxed(kKeys + "1/2", 98),
      border("└", "┘", 98),
  };
  EXPECT_EQ(lines_of(buf), want);

  const Look header = {kWhite, {}, true, true};
  expect_row_looks(buf, 3, kSymbolWidths, std::vector<Look>(10, header), header);  // spans the width

  expect_row_looks(buf, 4, kSymbolWidths,
                   {fg_look(kWhite, true), Look{}, fg_look(kGreen), Look{}, fg_look(kCyan), fg_look(kDarkGray),
                    Look{}, fg_look(kYellow), Look{}, Look{}},
                   kPlainRow);
  // Second window position: striped, and the absent members in dark gray.
  expect_row_looks(buf, 5, kSymbolWidths,
                   {fg_look(kWhite, true), Look{}, fg_look(kDarkGray), Look{}, fg_look(kDarkGray),
                    fg_look(kDarkGray), Look{}, fg_look(kDarkGray), Look{}, Look{}},
                   kStripedRow);
}

TEST(Table, WorkedAfterHoursRow) {
  state::App app(50);
  app.tab = state::AH_TAB;
  app.ah_rows.push_back({"WXYZ", std::nullopt, 0.8125, 0.842, -3.5, 850, 690.5});
  app.ah_rows.push_back({"LONGSYMBOL", "Long", 0.0, 2.0, 0.0, 2500, 2500.0});

  const tui::Buffer buf = render(app, 60, 9);
  const std::vector<std::string> wxyz = {" WXYZ  ", "  0.8125", "   -3.5%", "  0.8420", "     850", "    $690"};
  // A symbol longer than six characters is cut by its column; a zero last price is
  // listed (no price test after hours).
  const std::vector<std::string> longsym = {" LONGSY", "       -", "   +0.0%", "    2.00", "      2K", "     $2K"};
  const std::vector<std::string> want = {
      border("┌", "┐", 58),
      boxed(kTabBar.substr(0, 58), 58),
      boxed("", 58),
      boxed(join(kAhHeader), 58),
      boxed(join(wxyz), 58),
      boxed(join(longsym), 58),
      boxed("", 58),
      boxed("1-9:tabs  ↑↓jk:scroll  PgUp/PgDn:page  /:search  Esc:clear", 58),
      border("└", "┘", 58),
  };
  EXPECT_EQ(lines_of(buf), want);

  const Look header = {kCyan, {}, true, true};
  expect_row_looks(buf, 3, kAhWidths, std::vector<Look>(6, header), header);
  expect_row_looks(buf, 4, kAhWidths,
                   {fg_look(kWhite, true), Look{}, fg_look(kRed), fg_look(kDarkGray), Look{}, Look{}}, kPlainRow);
  expect_row_looks(buf, 5, kAhWidths,
                   {fg_look(kWhite, true), Look{}, fg_look(kWhite), fg_look(kDarkGray), Look{}, Look{}}, kStripedRow);
}

TEST(Table, ChangeAndRelativeVolumeColours) {
  // "8:All" orders by symbol, so the rows come out A, B, C, D, E.
  state::App app(50);
  app.tab = 7;
  const struct {
    const char* sym;
    std::optional<double> chg, rvol, gap;
    uint32_t hodc;
    const char* chg_text;
    tui::Color chg_fg;
    const char* rvol_text;
    tui::Color rvol_fg;
  } cases[] = {
      {"A", -0.04, 2.0, -0.04, 1, "-0.0%", kRed, "2.0x", kCyan},
      {"B", 0.04, 1.99, 0.04, 0, "+0.0%", kGreen, "2.0x", kWhite},
      {"C", 0.0, 0.0, 0.0, 0, "+0.0%", kWhite, "0.0x", kWhite},
      {"D", -0.0, 7.25, -0.0, 0, "+0.0%", kWhite, "7.2x", kCyan},
      {"E", std::nullopt, std::nullopt, std::nullopt, 0, "-", kDarkGray, "-", kDarkGray},
  };
  for (const auto& c : cases) {
    feed::SymbolRow r = sym_row(c.sym);
    r.chg = c.chg;
    r.rvol = c.rvol;
    r.gap = c.gap;
    r.hodc = c.hodc;
    app.symbol_map.emplace(c.sym, r);
  }
  const tui::Buffer buf = render(app, 100, 12);
  uint16_t y = 4;
  for (const auto& c : cases) {
    // Columns 3, 5, 6 and 8 start at 18, 36, 44 and 62 (one border column, one gap after each).
    EXPECT_EQ(cells_text(buf, y, 18, 8), fmt::format("{:>8}", c.chg_text)) << c.sym;
    EXPECT_EQ(cells_text(buf, y, 36, 7), fmt::format("{:>7}", c.rvol_text)) << c.sym;
    EXPECT_EQ(cells_text(buf, y, 44, 8), fmt::format("{:>8}", c.chg_text)) << c.sym;
    EXPECT_EQ(look(buf, 25, y).fg, c.chg_fg) << c.sym;  // chg
    EXPECT_EQ(look(buf, 41, y).fg, c.rvol_fg) << c.sym;  // rvol
    EXPECT_EQ(look(buf, 50, y).fg, c.chg_fg) << c.sym;  // gap follows the change rules
    EXPECT_EQ(look(buf, 66, y).fg, c.hodc ? kYellow : kDarkGray) << c.sym;
    ++y;
  }
}

struct LayoutCase {
  uint16_t height;
  uint64_t rows;
  uint64_t scroll;
  std::vector<std::string> body;  // the table part and footer, borders excluded
};

TEST(Table, RowWindowAndMinimumHeight) {
  const std::string header = join(kSymbolHeader);
  // Rows S0, S1, S2 in "2:Gainers" order (largest change first).
  auto row = [](int i) {
    return join({fmt::format(" {:<6}", fmt::format("S{}", i)), fmt::format(" {:>7}", fmt::format("{}.00", 100 - i)),
                 fmt::format(" {:>7}", fmt::format("+{}.0%", 10 - i)), "       0", "      -", "       -", "       -",
                 "      0", "      $0", "      0"});
  };
  const LayoutCase cases[] = {
      // Inner height 3: border only.
      {5, 3, 0, {"", "", ""}},
      // Inner height 4: tab bar, blank, header alone, footer.
      {6, 3, 0, {kTabBar, "", header, kKeys + "1/3"}},
      // Room for two rows: the first two.
      {8, 3, 0, {kTabBar, "", header, row(0), row(1), kKeys + "1/3"}},
      // Scrolled by one.
      {8, 3, 1, {kTabBar, "", header, row(1), row(2), kKeys + "2/3"}},
      // Scroll past the end: the last row alone; the footer shows the length twice.
      {8, 3, 9, {kTabBar, "", header, row(2), "", kKeys + "3/3"}},
      {8, 3, UINT64_MAX, {kTabBar, "", header, row(2), "", kKeys + "3/3"}},
      // Empty list: header only.
      {8, 0, 4, {kTabBar, "", header, "", "", kKeys + "0/0"}},
  };
  for (const auto& c : cases) {
    state::App app(50);
    app.tab = 1;
    app.scroll = c.scroll;
    for (uint64_t i = 0; i < c.rows; ++i) {
      feed::SymbolRow r = sym_row(fmt::format("S{}", i), 100.0 - double(i));
      r.chg = 10.0 - double(i);
      app.symbol_map.emplace(r.sym, r);
    }
    std::vector<std::string> want = {border("┌", "┐", 98)};
    for (const auto& line : c.body) want.push_back(boxed(line, 98));
    want.push_back(border("└", "┘", 98));
    EXPECT_EQ(lines_of(render(app, 100, c.height)), want) << "height " << c.height << " scroll " << c.scroll;
  }
}

TEST(Table, StripesCountFromTheFirstRowShown) {
  state::App app(50);
  app.tab = 7;
  for (const char* s : {"A", "B", "C", "D"}) app.symbol_map.emplace(s, sym_row(s));
  for (uint64_t scroll : {0u, 1u}) {
    app.scroll = scroll;
    const tui::Buffer buf = render(app, 100, 10);  // room for four rows
    for (uint16_t pos = 0; pos < 4 - scroll; ++pos) {
      const uint16_t y = 4 + pos;
      EXPECT_EQ(cells_text(buf, y, 2, 1), std::string(1, char('A' + scroll + pos)));
      const tui::Color bg = pos % 2 ? kStripe : tui::Color{};
      for (uint16_t x = 1; x < 99; ++x) ASSERT_EQ(look(buf, x, y).bg, bg) << "scroll " << scroll << " pos " << pos << " x " << x;
    }
    // Below the last row nothing is striped.
    for (uint16_t x = 1; x < 99; ++x) EXPECT_EQ(look(buf, x, 8 - scroll).bg, tui::Color{});
  }
}

TEST(Table, TabBarActiveTabAndIndicators) {
  const struct {
    uint64_t tab;
    bool search_mode;
    const char* search;
    const char* active;
    tui::Color active_bg;
    const char* indicator;
    tui::Color indicator_fg;
  } cases[] = {
      {0, false, "", "[1:Volume]", kWhite, "", {}},
      {6, false, "", "[7:Vol/Min]", kWhite, "", {}},
      {8, false, "", "[9:AH]", kCyan, "", {}},
      {2, true, "", "[3:Losers]", kWhite, "  Search: _", kYellow},
      {3, true, "nvé", "[4:Gaps]", kWhite, "  Search: nvé_", kYellow},  // as typed, not upper-cased
      {8, false, "AB", "[9:AH]", kCyan, "  Filter: AB", kCyan},
  };
  for (const auto& c : cases) {
    state::App app(50);
    app.tab = c.tab;
    app.search_mode = c.search_mode;
    app.search = c.search;
    const tui::Buffer buf = render(app, 120, 8);
    EXPECT_EQ(row_text(buf, 1), boxed(kTabBar + c.indicator, 118)) << c.active;
    EXPECT_TRUE(text_looks(buf, 1, c.active, Look{kBlack, c.active_bg, true, false})) << c.active;
    for (const char* label : {"[1:Volume]", "[2:Gainers]", "[3:Losers]", "[4:Gaps]", "[5:Active]", "[6:HOD]",
                              "[7:Vol/Min]", "[8:All]", "[9:AH]"}) {
      if (std::string(label) != c.active) {
        EXPECT_TRUE(text_looks(buf, 1, label, fg_look(kDarkGray))) << label;
      }
    }
    // The spaces between labels carry no style.
    EXPECT_EQ(look(buf, 11, 1), Look{});
    if (*c.indicator) {
      EXPECT_TRUE(text_looks(buf, 1, "  ", Look{}));
      EXPECT_TRUE(text_looks(buf, 1, std::string(c.indicator).substr(2), fg_look(c.indicator_fg)));
    }
  }
}

TEST(Table, TabBarCutInANarrowBand) {
  state::App app(50);
  app.search = "AB";
  for (uint16_t width : {89, 60}) {
    const tui::Buffer buf = render(app, width, 8);
    const size_t inner = width - 2u;
    EXPECT_EQ(row_text(buf, 1), boxed((kTabBar + "  Filter: AB").substr(0, inner), inner)) << width;
  }
  // 90 columns: the whole bar fits, and the indicator is cut after its two spaces.
  const tui::Buffer buf = render(app, 90, 8);
  EXPECT_EQ(row_text(buf, 1), boxed(kTabBar, 88));
}

TEST(Table, AfterHoursSearchListsAndCountsMatchesOnly) {
  state::App app(1);  // the cap does not apply after hours
  app.tab = state::AH_TAB;
  app.search = "ab";
  app.ah_rows = {{"ABC", {}, 1, 1, 1, 1, 1}, {"XYZ", {}, 1, 1, 1, 1, 1}, {"XAB", {}, 1, 1, 1, 1, 1},
                 {"QQQ", "Crab Cakes", 1, 1, 1, 1, 1}};
  const tui::Buffer buf = render(app, 80, 10);
  EXPECT_EQ(cells_text(buf, 4, 0, 8), "│ ABC   ");
  EXPECT_EQ(cells_text(buf, 5, 0, 8), "│ XAB   ");
  EXPECT_EQ(cells_text(buf, 6, 0, 8), "│ QQQ   ");
  EXPECT_EQ(row_text(buf, 7), boxed("", 78));
  EXPECT_EQ(row_text(buf, 8), boxed(kKeys + "1/3", 78));
}

TEST(Table, NothingOutsideTheBand) {
  state::App app(50);
  app.symbol_map.emplace("A", sym_row("A"));
  tui::Buffer buf(100, 12);
  render_table(app, buf, tui::Rect{0, 3, 100, 6});
  for (uint16_t y : {0, 1, 2, 9, 10, 11}) EXPECT_EQ(row_text(buf, y), std::string(100, ' ')) << y;
  render_table(app, buf, tui::Rect{0, 11, 100, 0});  // a band of height 0 shows nothing
  EXPECT_EQ(row_text(buf, 11), std::string(100, ' '));
}

}  // namespace
}  // namespace screen
