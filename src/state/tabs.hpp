#pragma once
// The nine tabs: eight ordered, filtered views of the scanner rows and the
// after-hours list, with the search that filters all of them.
#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "state/app.hpp"

namespace state {

enum class SortKey : uint8_t { Vol, Chg, Gap, Tc, Hodc, Vpm, Sym };

using RowFilter = bool (*)(const SymbolRow&);

bool no_filter(const SymbolRow&);
bool gainers_filter(const SymbolRow&);
bool losers_filter(const SymbolRow&);
bool hod_filter(const SymbolRow&);

struct TabDef {
  std::string_view label;
  RowFilter filter;
  SortKey sort_key;
  bool ascending;
  bool absolute;
};

extern const std::array<TabDef, 8> TABS;
inline constexpr uint64_t AH_TAB = 8;

// The tab's order of a against b: `less` puts a first. Absent chg/gap count as 0.0;
// a pair with a NaN is `equivalent`, so with NaN keys this is not a strict weak
// ordering and must not drive a sort on its own. get_rows orders by the same rule
// but treats a NaN chg/gap as 0.0, which keeps its sorting well defined.
std::weak_ordering compare_rows(const SymbolRow& a, const SymbolRow& b, const TabDef& tab);

// `upper_search` is the search text already upper-cased (upper_case below).
bool matches_search(const SymbolRow& row, std::string_view upper_search);
bool matches_search(const AhRow& row, std::string_view upper_search);

// Full Unicode upper-case mapping, locale independent ("ß" becomes "SS").
std::string upper_case(std::string_view text);

// Rows of the active symbol tab (tab 0..7): filtered, searched, ordered, capped; copies.
std::vector<SymbolRow> get_rows(const App& app);
// The after-hours entries that match the search, in feed order; copies.
std::vector<AhRow> ah_visible_rows(const App& app);
// The length of the active tab's list.
uint64_t total_rows(const App& app);

}  // namespace state
