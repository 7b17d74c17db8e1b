#include "state/tabs.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "state/row_fixture.hpp"

namespace state {
namespace {

using state_test::ah_row;
using state_test::app_with_rows;
using state_test::insert;
using state_test::symbol_row;
using state_test::syms;
using Syms = std::vector<std::string>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Tabs, TableHoldsTheEightSymbolTabs) {
  struct Expected {
    std::string_view label;
    RowFilter filter;
    SortKey key;
    bool ascending;
    bool absolute;
  };
  const Expected expected[] = {
      {"1:Volume", no_filter, SortKey::Vol, false, false},
      {"2:Gainers", gainers_filter, SortKey::Chg, false, false},
      {"3:Losers", losers_filter, SortKey::Chg, true, false},
      {"4:Gaps", no_filter, SortKey::Gap, false, true},
      {"5:Active", no_filter, SortKey::Tc, false, false},
      {"6:HOD", hod_filter, SortKey::Hodc, false, false},
      {"7:Vol/Min", no_filter, SortKey::Vpm, false, false},
      {"8:All", no_filter, SortKey::Sym, true, false},
  };
  ASSERT_EQ(TABS.size(), std::size(expected));
  for (size_t i = 0; i < TABS.size(); ++i) {
    SCOPED_TRACE(expected[i].label);
    EXPECT_EQ(TABS[i].label, expected[i].label);
    EXPECT_EQ(TABS[i].filter, expected[i].filter);
    EXPECT_EQ(TABS[i].sort_key, expected[i].key);
    EXPECT_EQ(TABS[i].ascending, expected[i].ascending);
    EXPECT_EQ(TABS[i].absolute, expected[i].absolute);
  }
  EXPECT_EQ(AH_TAB, 8u);
}

TEST(Tabs, FreshRecordHasNoRowsAnywhere) {
  App app(50);
  for (uint64_t tab = 0; tab <= AH_TAB; ++tab) {
    app.tab = tab;
    EXPECT_EQ(total_rows(app), 0u) << tab;
    if (tab != AH_TAB) {
      EXPECT_TRUE(get_rows(app).empty()) << tab;
    }
  }
  EXPECT_TRUE(ah_visible_rows(app).empty());
}

TEST(Tabs, FiltersTestOneMemberEach) {
  struct Case {
    std::optional<double> chg;
    uint32_t hodc;
    bool gainer, loser, hod;
  };
  const Case cases[] = {
      {std::nullopt, 0, false, false, false}, {0.0, 0, false, false, false},
      {-0.0, 1, false, false, true},          {0.01, 0, true, false, false},
      {-0.01, 7, false, true, true},          {kNaN, 0, false, false, false},
  };
  for (const Case& c : cases) {
    SymbolRow r = symbol_row("X");
    r.chg = c.chg;
    r.hodc = c.hodc;
    EXPECT_TRUE(no_filter(r));
    EXPECT_EQ(gainers_filter(r), c.gainer) << c.chg.value_or(-999);
    EXPECT_EQ(losers_filter(r), c.loser) << c.chg.value_or(-999);
    EXPECT_EQ(hod_filter(r), c.hod) << c.hodc;
  }
}

// One search table, checked for scanner rows and after-hours entries alike.
TEST(Tabs, SearchMatchesSymbolBytesOrUpperCasedName) {
  struct Case {
    const char* sym;
    std::optional<std::string> name;
    const char* search;
    bool match;
  };
  const Case cases[] = {
      {"AAPL", std::nullopt, "aa", true},
      {"MSFT", "Aardvark Inc", "aa", true},
      {"aapl", std::nullopt, "aa", false},  // the symbol is not case-folded
      {"aapl", std::nullopt, "", true},
      {"ABC", "Acme", "cm", true},          // anywhere in the name, not only a prefix
      {"XABCX", std::nullopt, "bc", true},  // anywhere in the symbol
      {"ABC", "Acme", "acmex", false},
      {"XYZ", "Straße AG", "SS", true},       // full mapping of a non-ASCII name
      {"XYZ", "Straße AG", "straße", true},   // ...and of the search
      {"XYZ", "Bass Ltd", "ß", true},         // a non-ASCII search may match an ASCII name
      {"XYZ", "Acme", "é", false},            // ASCII names never contain non-ASCII
      {"XYZ", "Société Générale", "été g", true},
      {"XYZ", "Société", "ete", false},
      {"XYZ", "ﬁnance", "fin", true},         // one character upper-cases to two
      {"XYZ", "istanbul", "ı", true},         // root locale: dotless i upper-cases to I
      {"XYZ", "ISTANBUL", "İ", false},        // ...and no Turkish rules apply
      {"ÉTÉ", std::nullopt, "été", true},     // symbol bytes against the upper-cased search
      {"XYZ", "", "a", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sym) + " / " + c.name.value_or("<none>") + " / " + c.search);
    const std::string upper = upper_case(c.search);
    SymbolRow s = symbol_row(c.sym);
    s.name = c.name;
    AhRow a = ah_row(c.sym);
    a.name = c.name;
    EXPECT_EQ(matches_search(s, upper), c.match);
    EXPECT_EQ(matches_search(a, upper), c.match);

    // The same through the row lists, which upper-case App.search themselves.
    App app(50);
    app.search = c.search;
    insert(app, s);
    app.ah_rows.push_back(a);
    app.tab = 7;
    EXPECT_EQ(get_rows(app).size(), c.match ? 1u : 0u);
    EXPECT_EQ(total_rows(app), c.match ? 1u : 0u);
    EXPECT_EQ(ah_visible_rows(app).size(), c.match ? 1u : 0u);
    app.tab = AH_TAB;
    EXPECT_EQ(total_rows(app), c.match ? 1u : 0u);
  }
}

TEST(Tabs, UnpricedRowsStayOutOfSymbolTabsButNotAfterHours) {
  App app(50);
  for (double last : {0.0, -0.0, -1.0, kNaN}) {
    SymbolRow r = symbol_row("U" + std::to_string(app.symbol_map.size()), last);
    r.chg = 5.0;
    r.gap = 9.0;
    r.hodc = 3;
    r.vol = 1'000'000;
    insert(app, r);
  }
  insert(app, symbol_row("P"));
  app.ah_rows = {ah_row("Z", 0.0), ah_row("Y", 2.0)};
  for (uint64_t tab = 0; tab < TABS.size(); ++tab) {
    app.tab = tab;
    const auto rows = get_rows(app);
    for (const auto& r : rows) EXPECT_EQ(r.sym, "P") << TABS[tab].label;
  }
  app.tab = AH_TAB;
  EXPECT_EQ(syms(ah_visible_rows(app)), (Syms{"Z", "Y"}));
  EXPECT_EQ(total_rows(app), 2u);
}

// Each tab's order, on rows whose keys all differ.
TEST(Tabs, EachTabOrdersByItsKey) {
  App app(50);
  auto add = [&](const char* sym, int64_t vol, std::optional<double> chg, std::optional<double> gap,
                 int64_t tc, uint32_t hodc, int64_t vpm) {
    SymbolRow r = symbol_row(sym);
    r.vol = vol;
    r.chg = chg;
    r.gap = gap;
    r.tc = tc;
    r.hodc = hodc;
    r.vpm = vpm;
    insert(app, r);
  };
  add("B", 300, 2.0, -7.5, 10, 0, -5);
  add("AB", -4, -1.5, 6.0, 30, 4'000'000'000u, 100);
  add("ABC", 9'000'000'000, std::nullopt, std::nullopt, 20, 2, 0);
  add("a", 0, 0.0, 0.5, -1, 1, 7);
  add("Z", 5, -3.0, -1.0, 40, 0, 8);
  struct Case {
    uint64_t tab;
    Syms order;
  };
  const Case cases[] = {
      {0, {"ABC", "B", "Z", "a", "AB"}},
      {1, {"B"}},
      {2, {"Z", "AB"}},
      {3, {"B", "AB", "Z", "a", "ABC"}},  // |-7.5| > 6.0 > |-1.0| > 0.5 > absent (0)
      {4, {"Z", "AB", "ABC", "B", "a"}},
      {5, {"AB", "ABC", "a"}},  // hodc compared unsigned: 4e9 is the largest
      {6, {"AB", "Z", "a", "ABC", "B"}},
      {7, {"AB", "ABC", "B", "Z", "a"}},
  };
  for (const Case& c : cases) {
    app.tab = c.tab;
    EXPECT_EQ(syms(get_rows(app)), c.order) << TABS[c.tab].label;
    EXPECT_EQ(total_rows(app), c.order.size()) << TABS[c.tab].label;
  }
}

TEST(Tabs, GapsAndChangesCountAbsentAsZero) {
  App app(50);
  SymbolRow minus = symbol_row("M");
  minus.gap = -7.5;
  SymbolRow plus = symbol_row("P");
  plus.gap = 6.0;
  SymbolRow none = symbol_row("N");
  app.tab = 3;
  insert(app, none);
  insert(app, plus);
  insert(app, minus);
  EXPECT_EQ(syms(get_rows(app)), (Syms{"M", "P", "N"}));

  const TabDef& gaps = TABS[3];
  SymbolRow zero = symbol_row("O");
  zero.gap = -0.0;
  EXPECT_EQ(compare_rows(none, zero, gaps), std::weak_ordering::equivalent);
  EXPECT_EQ(compare_rows(minus, plus, gaps), std::weak_ordering::less);
  const TabDef& losers = TABS[2];
  SymbolRow down = symbol_row("D");
  down.chg = -0.5;
  EXPECT_EQ(compare_rows(down, none, losers), std::weak_ordering::less);
}

TEST(Tabs, AllTabIsByteOrder) {
  App app(50);
  app.tab = 7;
  for (const char* s : {"b", "ABC", "É", "B", "ab", "AB", "Z", "a", "A"}) insert(app, symbol_row(s));
  EXPECT_EQ(syms(get_rows(app)), (Syms{"A", "AB", "ABC", "B", "Z", "a", "ab", "b", "É"}));
}

TEST(Tabs, SymbolTabsAreCappedAfterHoursIsNot) {
  App app = app_with_rows(80, 50);
  for (int i = 0; i < 80; ++i) app.ah_rows.push_back(ah_row("H" + std::to_string(i)));
  app.tab = 0;
  EXPECT_EQ(get_rows(app).size(), 50u);
  EXPECT_EQ(total_rows(app), 50u);
  app.tab = AH_TAB;
  EXPECT_EQ(total_rows(app), 80u);
  EXPECT_EQ(ah_visible_rows(app).size(), 80u);

  App none = app_with_rows(80, 0);
  none.tab = 7;
  EXPECT_TRUE(get_rows(none).empty());
  EXPECT_EQ(total_rows(none), 0u);

  App all = app_with_rows(80, std::numeric_limits<uint64_t>::max());
  all.tab = 7;
  EXPECT_EQ(get_rows(all).size(), 80u);
  EXPECT_EQ(total_rows(all), 80u);
}

TEST(Tabs, AfterHoursKeepsFeedOrderUnderSearch) {
  App app(1);
  app.ah_rows = {ah_row("ZZ"), ah_row("AB"), ah_row("QQ"), ah_row("XAB")};
  app.ah_rows[2].name = "Abba Corp";
  app.search = "ab";
  EXPECT_EQ(syms(ah_visible_rows(app)), (Syms{"AB", "QQ", "XAB"}));
  app.tab = AH_TAB;
  EXPECT_EQ(total_rows(app), 3u);
}

// A NaN key is no part of the feed, but must not break the sort: it orders as an
// absent value (0.0), the cap holds, and every row comes back once.
TEST(Tabs, NotANumberKeysSortAsAbsent) {
  for (uint64_t cap : {uint64_t(50), std::numeric_limits<uint64_t>::max()}) {
    App app(cap);
    App as_absent(cap);
    for (int i = 0; i < 600; ++i) {
      SymbolRow r = symbol_row("R" + std::to_string(i));
      const int kind = i % 4;
      r.gap = kind == 0 ? std::optional<double>(kNaN) : std::optional<double>((i % 7) - 3.0);
      r.chg = kind == 1 ? std::optional<double>(-kNaN) : std::optional<double>((i % 5) - 2.0);
      insert(app, r);
      if (kind == 0) r.gap.reset();
      if (kind == 1) r.chg.reset();
      insert(as_absent, r);
    }
    // Same keys inserted in the same order: both maps iterate alike.
    ASSERT_TRUE(std::equal(app.symbol_map.begin(), app.symbol_map.end(), as_absent.symbol_map.begin(),
                           [](const auto& a, const auto& b) { return a.first == b.first; }));
    for (uint64_t tab = 0; tab < TABS.size(); ++tab) {
      app.tab = as_absent.tab = tab;
      const auto rows = get_rows(app);
      EXPECT_EQ(syms(rows), syms(get_rows(as_absent))) << TABS[tab].label;
      EXPECT_EQ(rows.size(), total_rows(app)) << TABS[tab].label;
      if (tab != 1 && tab != 2 && tab != 5) {  // no filter: every row is shown
        EXPECT_EQ(rows.size(), std::min<uint64_t>(cap, 600));
      }
    }
  }
}

TEST(Tabs, OutOfRangeTabYieldsNothing) {
  App app = app_with_rows(3);
  app.tab = 9;
  EXPECT_TRUE(get_rows(app).empty());
  EXPECT_EQ(total_rows(app), 0u);
}

}  // namespace
}  // namespace state
