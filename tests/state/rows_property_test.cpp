// get_rows against the literal selection: copy every matching row in map order,
// stable sort by the tab's comparison, cut to max_rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "state/row_fixture.hpp"
#include "state/tabs.hpp"

namespace state {
namespace {

std::vector<SymbolRow> literal_rows(const App& app) {
  const TabDef& def = TABS[app.tab];
  const std::string upper = upper_case(app.search);
  std::vector<SymbolRow> rows;
  for (const auto& [sym, row] : app.symbol_map) {
    if (def.filter(row) && row.last > 0.0 && matches_search(row, upper)) rows.push_back(row);
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [&](const SymbolRow& a, const SymbolRow& b) { return compare_rows(a, b, def) < 0; });
  if (rows.size() > app.max_rows) rows.resize(size_t(app.max_rows));
  return rows;
}

// Few distinct values per member, so most keys tie and the tie order is what is tested.
App random_app(std::mt19937_64& rng, size_t n) {
  const std::optional<double> floats[] = {std::nullopt, 0.0, -0.0, 1.0, -1.0, 2.5, -2.5};
  const std::optional<std::string> names[] = {std::nullopt, "Acme Inc", "Straße AG", "Société Bass",
                                              "abc", ""};
  const double lasts[] = {1.0, 1.0, 1.0, 0.0, -1.0, 12.5};
  const char letters[] = "ABSab";
  App app(0);
  while (app.symbol_map.size() < n) {
    SymbolRow r;
    const size_t len = 1 + rng() % 4;
    for (size_t i = 0; i < len; ++i) r.sym += letters[rng() % 5];
    r.name = names[rng() % std::size(names)];
    r.last = lasts[rng() % std::size(lasts)];
    r.chg = floats[rng() % std::size(floats)];
    r.gap = floats[rng() % std::size(floats)];
    r.vol = int64_t(rng() % 3) - 1;
    r.tc = int64_t(rng() % 4);
    r.hodc = uint32_t(rng() % 3);
    r.vpm = rng() % 2 ? std::numeric_limits<int64_t>::min() : int64_t(rng() % 2);
    state_test::insert(app, std::move(r));
  }
  return app;
}

TEST(RowsProperty, SelectionEqualsLiteralAlgorithm) {
  std::mt19937_64 rng(20240611);
  const char* searches[] = {"", "a", "A", "b", "ss", "ß", "é", "AB", "inc", "zz"};
  for (int round = 0; round < 60; ++round) {
    App app = random_app(rng, 1 + rng() % 300);
    const uint64_t n = app.symbol_map.size();
    const uint64_t caps[] = {0, 1, 2, 7, n / 2, n - 1, n, n + 1, 1 + rng() % n,
                             std::numeric_limits<uint64_t>::max()};
    for (uint64_t cap : caps) {
      app.max_rows = cap;
      app.search = searches[rng() % std::size(searches)];
      for (uint64_t tab = 0; tab < TABS.size(); ++tab) {
        app.tab = tab;
        const auto expected = literal_rows(app);
        ASSERT_EQ(get_rows(app), expected)
            << TABS[tab].label << " cap " << cap << " search '" << app.search << "' rows " << n;
        ASSERT_EQ(total_rows(app), expected.size());
      }
    }
  }
}

}  // namespace
}  // namespace state
