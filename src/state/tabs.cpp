#include "state/tabs.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
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

// Byte order of symbols, mostly decided by one integer comparison: the first eight
// bytes big-endian, zero-padded. Equal prefixes fall back to the whole texts, which
// also settles a zero byte against a shorter text.
struct SymKey {
  uint64_t prefix;
  std::string_view sym;

  explicit SymKey(std::string_view s) : prefix(0), sym(s) {
    if (s.size() >= 8) {
      std::memcpy(&prefix, s.data(), 8);
      if constexpr (std::endian::native == std::endian::little) prefix = __builtin_bswap64(prefix);
      return;
    }
    if (s.empty()) return;
    // Symbols are short and of every length: selects rather than branches.
    for (size_t i = 0; i < 8; ++i) {
      const uint64_t c = static_cast<unsigned char>(s[i < s.size() ? i : 0]);
      prefix = (prefix << 8) | (i < s.size() ? c : 0);
    }
  }
  friend bool operator<(const SymKey& a, const SymKey& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return a.sym < b.sym;
  }
};

template <class Row>
bool row_matches(const Row& row, const SearchNeedle& needle) {
  if (needle.empty()) return true;
  if (needle.in_bytes(row.sym)) return true;
  return row.name && needle.in_upper_case_of(*row.name);
}

bool passes(const TabDef& def, const SymbolRow& row, const SearchNeedle& needle) {
  return def.filter(row) && row.last > 0.0 && row_matches(row, needle);
}

template <class Key>
struct Candidate {
  Key key;
  size_t index;  // position in the map's iteration order: ties keep it
  const SymbolRow* row;
};

// How many slots ahead of the row being tested memory is fetched. The rows are large
// and the walk waits on memory rather than on the tests. The map keeps its elements in
// one array and iterates it in address order, so the rows a few slots further on are
// the ones the walk reaches next (were it otherwise, the fetches would only be wasted).
// Only addresses are computed (a prefetch never faults) and nothing is read there: a
// slot may be empty or lie past the array.
constexpr uintptr_t kPrefetchSlots = 20;

// Fetches `member` of the row `ahead` bytes further on; both of its lines when it is
// larger than a number and may straddle two (a short `sym` is read from its inline
// buffer).
template <class T>
void prefetch_ahead(const T& member, uintptr_t ahead) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(&member) + ahead;
  __builtin_prefetch(reinterpret_cast<const void*>(at));
  if constexpr (sizeof(T) > 8) __builtin_prefetch(reinterpret_cast<const void*>(at + sizeof(T) - 1));
}

// Calls visit(row) for every row of the map in iteration order, fetching the sort
// member some slots ahead. When most rows will be tested further (`whole_rows`), it
// also fetches `last` and, for a search, `sym` and `name`.
// Flattened: the map iterator's step is otherwise a call per row, a third of the walk.
template <bool Searching, class Field, class Visit>
[[gnu::flatten]] void walk_rows(const SymbolMap& map, Field SymbolRow::*key_member, bool whole_rows, Visit&& visit) {
  using Slot = SymbolMap::value_type;
  const uintptr_t ahead = kPrefetchSlots * sizeof(Slot);
  for (const Slot& slot : map) {
    const SymbolRow& r = slot.second;
    prefetch_ahead(r.*key_member, ahead);
    if (whole_rows) {
      prefetch_ahead(r.last, ahead);
      if constexpr (Searching) {
        prefetch_ahead(r.sym, ahead);
        prefetch_ahead(r.name, ahead);
      }
    }
    visit(r);
  }
}

// With a search, a row that passed the cheap tests waits this many rows before its
// name is read, so that the name, which lives elsewhere on the heap, has arrived.
constexpr size_t kNameLag = 8;

// A test that a row cannot displace `worst` from a full selection, cheaper than
// building its key; false when in doubt.
struct NoQuickReject {
  bool operator()(const SymbolRow&, const SymbolRow&, bool) const { return false; }
};

// In symbol order most rows are settled by their first byte alone.
struct FirstByteReject {
  static int first(const std::string& s) { return s.empty() ? -1 : static_cast<unsigned char>(s[0]); }
  bool operator()(const SymbolRow& row, const SymbolRow& worst, bool ascending) const {
    return ascending ? first(row.sym) > first(worst.sym) : first(row.sym) < first(worst.sym);
  }
};

// The literal result is "collect in map order, stable sort, cut to max_rows". Ordering
// by (key, collection index) is a strict total order giving that same sequence, so a
// bounded max-heap of the best max_rows so far selects exactly those rows while only
// they are ever copied.
template <class Key, bool Searching, class Filter, class Field, class KeyOf, class QuickReject = NoQuickReject>
std::vector<SymbolRow> select_rows(const App& app, bool ascending, const SearchNeedle& needle,
                                   Filter filter, Field SymbolRow::*key_member, KeyOf key_of,
                                   QuickReject quick_reject = {}) {
  using C = Candidate<Key>;
  const auto key_before = [ascending](const Key& a, const Key& b) { return ascending ? a < b : b < a; };
  const auto before = [key_before](const C& a, const C& b) {
    if (key_before(a.key, b.key)) return true;
    if (key_before(b.key, a.key)) return false;
    return a.index < b.index;
  };

  const bool cut = app.max_rows < app.symbol_map.size();
  const size_t cap = cut ? size_t(app.max_rows) : app.symbol_map.size();
  std::vector<C> best;
  best.reserve(cap);
  size_t index = 0;
  // Whether a row could still enter the selection: always until it is full, then only
  // with a key strictly better than the worst kept row's (on equal keys the kept row
  // came first in map order). The worst only gets better, so a row turned away once
  // stays out.
  const auto could_enter = [&](const SymbolRow& row) {
    if (!cut || best.size() < cap) return true;
    const C& worst = best.front();
    return !quick_reject(row, *worst.row, ascending) && key_before(key_of(row), worst.key);
  };
  // Takes the rows that pass every test, in map order.
  const auto offer = [&](const SymbolRow& row) {
    if (!could_enter(row)) return;
    const C c{key_of(row), index++, &row};
    if (!cut) {
      best.push_back(c);
    } else if (best.size() < cap) {
      best.push_back(c);
      std::push_heap(best.begin(), best.end(), before);
    } else {
      std::pop_heap(best.begin(), best.end(), before);
      best.back() = c;
      std::push_heap(best.begin(), best.end(), before);
    }
  };
  const auto cheap_tests = [&](const SymbolRow& row) { return filter(row) && row.last > 0.0; };

  if constexpr (Searching) {
    // The key goes first and the search, the dear test, last: once the selection is
    // full most rows are turned away by their key alone and never searched.
    std::array<const SymbolRow*, kNameLag> waiting{};
    size_t head = 0;
    size_t count = 0;
    const auto settle = [&](const SymbolRow& row) {
      if (row_matches(row, needle)) offer(row);
    };
    walk_rows<true>(app.symbol_map, key_member, !cut, [&](const SymbolRow& row) {
      if (!could_enter(row) || !cheap_tests(row)) return;
      if (row.name && !row.name->empty()) {
        __builtin_prefetch(row.name->data());
        __builtin_prefetch(row.name->data() + row.name->size() - 1);  // it may span two lines
      }
      if (count == kNameLag) {
        settle(*waiting[head]);
        waiting[head] = &row;
        head = (head + 1) % kNameLag;
      } else {
        waiting[(head + count++) % kNameLag] = &row;
      }
    });
    for (; count > 0; --count, head = (head + 1) % kNameLag) settle(*waiting[head]);
  } else {
    // The key goes first: once the selection is full it turns most rows away, and
    // their other members are then never read.
    walk_rows<false>(app.symbol_map, key_member, !cut, [&](const SymbolRow& row) {
      if (could_enter(row) && cheap_tests(row)) offer(row);
    });
  }

  if (cut) {
    std::sort_heap(best.begin(), best.end(), before);
  } else {
    std::sort(best.begin(), best.end(), before);
  }
  std::vector<SymbolRow> rows;
  rows.reserve(best.size());
  for (const C& c : best) rows.push_back(*c.row);
  return rows;
}

// Instantiates the selection for the tab's filter and key, so that the tests of the
// hot loop are inlined rather than called through the table's pointers.
template <bool Searching>
std::vector<SymbolRow> select_for_tab(const App& app, const TabDef& def, const SearchNeedle& needle) {
  const auto with_filter = [&](auto&& run) {
    if (def.filter == no_filter) return run([](const SymbolRow&) { return true; });
    if (def.filter == gainers_filter) return run([](const SymbolRow& r) { return gainers_filter(r); });
    if (def.filter == losers_filter) return run([](const SymbolRow& r) { return losers_filter(r); });
    if (def.filter == hod_filter) return run([](const SymbolRow& r) { return hod_filter(r); });
    return run(def.filter);
  };
  const bool asc = def.ascending;
  const bool abs = def.absolute;
  return with_filter([&](auto filter) -> std::vector<SymbolRow> {
    switch (def.sort_key) {
      case SortKey::Vol:
        return select_rows<int64_t, Searching>(app, asc, needle, filter, &SymbolRow::vol,
                                               [](const SymbolRow& r) { return r.vol; });
      case SortKey::Chg:
        return select_rows<double, Searching>(app, asc, needle, filter, &SymbolRow::chg,
                                              [abs](const SymbolRow& r) { return float_key(r.chg, abs); });
      case SortKey::Gap:
        return select_rows<double, Searching>(app, asc, needle, filter, &SymbolRow::gap,
                                              [abs](const SymbolRow& r) { return float_key(r.gap, abs); });
      case SortKey::Tc:
        return select_rows<int64_t, Searching>(app, asc, needle, filter, &SymbolRow::tc,
                                               [](const SymbolRow& r) { return r.tc; });
      case SortKey::Hodc:
        return select_rows<uint32_t, Searching>(app, asc, needle, filter, &SymbolRow::hodc,
                                                [](const SymbolRow& r) { return r.hodc; });
      case SortKey::Vpm:
        return select_rows<int64_t, Searching>(app, asc, needle, filter, &SymbolRow::vpm,
                                               [](const SymbolRow& r) { return r.vpm; });
      case SortKey::Sym:
        return select_rows<SymKey, Searching>(app, asc, needle, filter, &SymbolRow::sym,
                                              [](const SymbolRow& r) { return SymKey(r.sym); },
                                              FirstByteReject{});
    }
    return {};
  });
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
  return row_matches(row, SearchNeedle(upper_search));
}

bool matches_search(const AhRow& row, std::string_view upper_search) {
  return row_matches(row, SearchNeedle(upper_search));
}

std::vector<SymbolRow> get_rows(const App& app) {
  // Only tabs 0..7 have rows here; an out-of-range tab yields nothing rather than
  // reading past the table.
  if (app.tab >= TABS.size() || app.max_rows == 0) return {};
  const TabDef& def = TABS[app.tab];
  const std::string upper_search = upper_case(app.search);
  const SearchNeedle needle(upper_search);
  if (needle.empty()) return select_for_tab<false>(app, def, needle);
  return select_for_tab<true>(app, def, needle);
}

std::vector<AhRow> ah_visible_rows(const App& app) {
  const std::string upper_search = upper_case(app.search);
  const SearchNeedle needle(upper_search);
  std::vector<AhRow> rows;
  for (const AhRow& row : app.ah_rows) {
    if (row_matches(row, needle)) rows.push_back(row);
  }
  return rows;
}

uint64_t total_rows(const App& app) {
  const std::string upper_search = upper_case(app.search);
  const SearchNeedle needle(upper_search);
  uint64_t count = 0;
  if (app.tab == AH_TAB) {
    for (const AhRow& row : app.ah_rows) count += row_matches(row, needle) ? 1 : 0;
    return count;
  }
  if (app.tab >= TABS.size()) return 0;
  const TabDef& def = TABS[app.tab];
  // get_rows' length without building it; counting stops at the cap.
  for (const auto& [sym, row] : app.symbol_map) {
    if (count >= app.max_rows) break;
    if (passes(def, row, needle)) ++count;
  }
  return count;
}

}  // namespace state
