#pragma once
// Small feed message texts for the loopback tests.
#include <fmt/format.h>

#include <optional>
#include <string>
#include <vector>

namespace nettest {

// A SymbolRow object with every required member; `chg` only when given.
inline std::string row(const std::string& sym, double last, std::optional<double> chg = std::nullopt) {
  std::string out = fmt::format(R"({{"sym":"{}","last":{},"vol":100,"hod":{},"hodc":0,"dvol":{},"tc":3,"vpm":7)", sym,
                                last, last, last * 100);
  if (chg) out += fmt::format(R"(,"chg":{})", *chg);
  return out + "}";
}

inline std::string message(const char* type, const std::vector<std::string>& rows) {
  std::string out = fmt::format(R"({{"type":"{}","symbols":[)", type);
  for (size_t i = 0; i < rows.size(); ++i) out += (i ? "," : "") + rows[i];
  return out + "]}";
}

inline std::string snapshot(const std::vector<std::string>& rows) { return message("snapshot", rows); }
inline std::string update(const std::vector<std::string>& rows) { return message("update", rows); }

inline std::string ah_row(const std::string& sym, double chg) {
  return fmt::format(R"({{"sym":"{}","last":2,"prev":1,"chg":{},"vol":5,"dvol":10}})", sym, chg);
}
inline std::string afterhours(const std::vector<std::string>& rows) { return message("afterhours", rows); }

// The shortest update of one row, small enough for a control frame (at most 125 bytes).
inline std::string tiny_update(const std::string& sym) {
  return fmt::format(R"({{"type":"update","symbols":[{{"sym":"{}","last":1,"vol":1,"hod":1,"hodc":0,"dvol":1,"tc":1,"vpm":1}}]}})",
                     sym);
}

}  // namespace nettest
