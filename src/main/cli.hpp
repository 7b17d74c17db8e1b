#pragma once
// The command line: two long options, help and version.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace cli {

inline constexpr std::string_view kVersion = "0.1.0";
inline constexpr std::string_view kDefaultUrl = "ws://scanner.local:8765/ws";
inline constexpr uint64_t kDefaultMaxRows = 50;

struct Args {
  std::string url{kDefaultUrl};
  uint64_t max_rows = kDefaultMaxRows;
};

// What the process does instead of running: print and exit with `status`.
struct Exit {
  int status = 0;
  std::string out;  // for standard output
  std::string err;  // for standard error
};

using ParseOutcome = std::variant<Args, Exit>;

ParseOutcome parse_args(int argc, const char* const* argv);

// Decimal digits with an optional leading "+", fitting in 64 bits.
std::optional<uint64_t> parse_max_rows(std::string_view text);

}  // namespace cli
