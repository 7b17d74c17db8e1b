#include "state/tabs.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "state/upper.hpp"

namespace state {

bool no_filter(const SymbolRow&) { return true; }
bool gainers_filter(const SymbolRow& row) { return row.chg && *row.chg > 0.0; }
bool losers_filter(const SymbolRow& row) { return row.chg && *row.chg < 0.0; }
bool hod_filter(const SymbolRow& row) { return row.hodc != 0; }

const std::array<TabDef, 8> TABS = {{
    {"1:Volume", no_filter, SortKey::Vol, false, false},
    {"2:Gainers", gainers_filter, SortKey::Chg, false, false},
    {"3:Losers", losers_filter, SortKey::Chg, true, false},
    {"4:Gaps", no_filter, SortKey::Gap, false, true},
    {"5:Active", no_filter, SortKey::Tc, false, false},
    {"6:HOD", hod_filter, SortKey::Hodc, false, false},
    {"7:Vol/Min", no_filter, SortKey::Vpm, false, false},
    {"8:All", no_filter, SortKey::Sym, true, false},
}};

namespace {

std::weak_ordering compare_floats(std::optional<double> a, std::optional<double> b, bool absolute) {
  double x = a.value_or(0.0);
  double y = b.value_or(0.0);
  if (absolute) {
    x = std::fabs(x);
    y = std::fabs(y);
  }
  if (x < y) return std::weak_ordering::less;
  if (x > y) return std::weak_ordering::greater;
  return std::weak_ordering::equivalent;  // equal, or not ordered (NaN)
}

// The sort value of a chg/gap: as compare_floats sees it, except NaN, which would make
// "equal to everything" non-transitive, counts as an absent value.
double float_key(std::optional<double> v, bool absolute) {
  double x = v.value_or(0.0);
  if (std::isnan(x)) x = 0.0;
  return absolute ? std::fabs(x) : x;
}

template <class Row>
bool row_matches(const Row& row, std::string_view upper_search) {
  if (upper_search.empty()) return true;
  if (std::string_view(row.sym).find(upper_search) != std::string_view::npos) return true;
  return row.name && upper_contains(*row.name, upper_search);
}

bool passes(const TabDef& def, const SymbolRow& row, std::string_view upper_search) {
  return def.filter(row) && row.last > 0.0 && matches_search(row, upper_search);
}

template <class Key>
struct Candidate {
  Key key;
  size_t index;  // position in the map's iteration order: ties keep it
  const SymbolRow* row;
};

// The literal result is "collect in map order, stable sort, cut to max_rows". Ordering
// by (key, collection index) is a strict total order giving that same sequence, so a
// bounded max-heap of the best max_rows so far selects exactly those rows while only
// they are ever copied.
template <class Key, class KeyOf>
std::vector<SymbolRow> select_rows(const App& app, const TabDef& def, std::string_view upper_search,
                                   KeyOf key_of) {
  using C = Candidate<Key>;
  const bool ascending = def.ascending;
  const auto before = [ascending](const C& a, const C& b) {
    if (a.key < b.key) return ascending;
    if (b.key < a.key) return !ascending;
    return a.index < b.index;
  };

  std::vector<C> best;
  size_t index = 0;
  if (app.max_rows >= app.symbol_map.size()) {
    // No cut can happen: gather everything and sort.
    best.reserve(app.symbol_map.size());
    for (const auto& [sym, row] : app.symbol_map) {
      if (passes(def, row, upper_search)) best.push_back(C{key_of(row), index++, &row});
    }
    std::sort(best.begin(), best.end(), before);
  } else {
    const size_t cap = size_t(app.max_rows);
    best.reserve(cap);
    for (const auto& [sym, row] : app.symbol_map) {
      if (!passes(def, row, upper_search)) continue;
      C c{key_of(row), index++, &row};
      if (best.size() < cap) {
        best.push_back(c);
        std::push_heap(best.begin(), best.end(), before);
      } else if (before(c, best.front())) {
        // A later row never displaces an equal one: its index is larger.
        std::pop_heap(best.begin(), best.end(), before);
        best.back() = c;
        std::push_heap(best.begin(), best.end(), before);
      }
    }
    std::sort_heap(best.begin(), best.end(), before);
  }

  std::vector<SymbolRow> rows;
  rows.reserve(best.size());
  for (const C& c : best) rows.push_back(*c.row);
  return rows;
}

}  // namespace

std::weak_ordering compare_rows(const SymbolRow& a, const SymbolRow& b, const TabDef& tab) {
  std::weak_ordering r = std::weak_ordering::equivalent;
  switch (tab.sort_key) {
    case SortKey::Vol: r = a.vol <=> b.vol; break;
    case SortKey::Chg: r = compare_floats(a.chg, b.chg, tab.absolute); break;
    case SortKey::Gap: r = compare_floats(a.gap, b.gap, tab.absolute); break;
    case SortKey::Tc: r = a.tc <=> b.tc; break;
    case SortKey::Hodc: r = a.hodc <=> b.hodc; break;
    case SortKey::Vpm: r = a.vpm <=> b.vpm; break;
    // char_traits<char> compares as unsigned char: byte order, shorter prefix first.
    case SortKey::Sym: r = std::string_view(a.sym) <=> std::string_view(b.sym); break;
  }
  return tab.ascending ? r : 0 <=> r;
}

bool matches_search(const SymbolRow& row, std::string_view upper_search) {
  return row_matches(row, upper_search);
}

bool matches_search(const AhRow& row, std::string_view upper_search) {
  return row_matches(row, upper_search);
}

std::vector<SymbolRow> get_rows(const App& app) {
  // Only tabs 0..7 have rows here; an out-of-range tab yields nothing rather than
  // reading past the table.
  if (app.tab >= TABS.size() || app.max_rows == 0) return {};
  const TabDef& def = TABS[app.tab];
  const std::string upper_search = upper_case(app.search);
  const bool abs = def.absolute;
  switch (def.sort_key) {
    case SortKey::Vol:
      return select_rows<int64_t>(app, def, upper_search, [](const SymbolRow& r) { return r.vol; });
    case SortKey::Chg:
      return select_rows<double>(app, def, upper_search,
                                 [abs](const SymbolRow& r) { return float_key(r.chg, abs); });
    case SortKey::Gap:
      return select_rows<double>(app, def, upper_search,
                                 [abs](const SymbolRow& r) { return float_key(r.gap, abs); });
    case SortKey::Tc:
      return select_rows<int64_t>(app, def, upper_search, [](const SymbolRow& r) { return r.tc; });
    case SortKey::Hodc:
      return select_rows<uint32_t>(app, def, upper_search, [](const SymbolRow& r) { return r.hodc; });
    case SortKey::Vpm:
      return select_rows<int64_t>(app, def, upper_search, [](const SymbolRow& r) { return r.vpm; });
    case SortKey::Sym:
      return select_rows<std::string_view>(app, def, upper_search,
                                           [](const SymbolRow& r) { return std::string_view(r.sym); });
  }
  return {};
}

std::vector<AhRow> ah_visible_rows(const App& app) {
  const std::string upper_search = upper_case(app.search);
  std::vector<AhRow> rows;
  for (const AhRow& row : app.ah_rows) {
    if (matches_search(row, upper_search)) rows.push_back(row);
  }
  return rows;
}

uint64_t total_rows(const App& app) {
  const std::string upper_search = upper_case(app.search);
  uint64_t count = 0;
  if (app.tab == AH_TAB) {
    for (const AhRow& row : app.ah_rows) count += matches_search(row, upper_search) ? 1 : 0;
    return count;
  }
  if (app.tab >= TABS.size()) return 0;
  const TabDef& def = TABS[app.tab];
  // get_rows' length without building it; counting stops at the cap.
  for (const auto& [sym, row] : app.symbol_map) {
    if (count >= app.max_rows) break;
    if (passes(def, row, upper_search)) ++count;
  }
  return count;
}

}  // namespace state
