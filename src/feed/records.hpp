#pragma once
// The feed's records: what the scanner server sends, and how the state stores it.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace feed {

struct SymbolRow {
  // Every frame walks all rows twice (summary and table). What the summary and the
  // usual tabs read of each row comes first, in as few cache lines as possible: the
  // walks are bound by memory.
  double last = 0.0;
  std::string sym;
  std::optional<double> chg;
  double dvol = 0.0;
  int64_t vol = 0;
  uint32_t hodc = 0;
  double hod = 0.0;
  std::optional<double> gap;
  std::optional<std::string> sector;
  std::optional<std::string> name;
  std::optional<double> rvol;
  std::optional<int64_t> float_;  // JSON member "float" (a C++ keyword)
  std::optional<double> mcap;
  int64_t tc = 0;
  int64_t vpm = 0;

  friend bool operator==(const SymbolRow&, const SymbolRow&) = default;
};

struct AhRow {
  std::string sym;
  std::optional<std::string> name;
  double last = 0.0;
  double prev = 0.0;
  double chg = 0.0;
  int64_t vol = 0;
  double dvol = 0.0;

  friend bool operator==(const AhRow&, const AhRow&) = default;
};

struct Snapshot {
  std::vector<SymbolRow> symbols;
  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};
struct Update {
  std::vector<SymbolRow> symbols;
  friend bool operator==(const Update&, const Update&) = default;
};
struct AfterHoursGainers {
  std::vector<AhRow> symbols;
  friend bool operator==(const AfterHoursGainers&, const AfterHoursGainers&) = default;
};
struct Ping {
  friend bool operator==(const Ping&, const Ping&) = default;
};

using WsMessage = std::variant<Snapshot, Update, AfterHoursGainers, Ping>;

}  // namespace feed
