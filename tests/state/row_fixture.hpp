#pragma once
// Small builders for scanner state in tests.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/app.hpp"
#include "state/tabs.hpp"

namespace state_test {

inline state::SymbolRow symbol_row(std::string sym, double last = 1.0) {
  state::SymbolRow r;
  r.sym = std::move(sym);
  r.last = last;
  return r;
}

inline state::AhRow ah_row(std::string sym, double last = 1.0) {
  state::AhRow r;
  r.sym = std::move(sym);
  r.last = last;
  return r;
}

inline void insert(state::App& app, state::SymbolRow row) {
  std::string key = row.sym;
  app.symbol_map.insert_or_assign(std::move(key), std::move(row));
}

// `n` priced rows named S0, S1, ...; all of them pass every filter but HOD's.
inline state::App app_with_rows(size_t n, uint64_t max_rows = 1000) {
  state::App app(max_rows);
  for (size_t i = 0; i < n; ++i) insert(app, symbol_row("S" + std::to_string(i)));
  return app;
}

inline std::vector<std::string> syms(const std::vector<state::SymbolRow>& rows) {
  std::vector<std::string> out;
  for (const auto& r : rows) out.push_back(r.sym);
  return out;
}

inline std::vector<std::string> syms(const std::vector<state::AhRow>& rows) {
  std::vector<std::string> out;
  for (const auto& r : rows) out.push_back(r.sym);
  return out;
}

}  // namespace state_test
