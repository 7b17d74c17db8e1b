#include "screen/formats.hpp"

#include <fmt/format.h>

#include <cmath>
#include <limits>

namespace screen {

namespace {

// Fixed-point text with `decimals` decimals, ties to even. Only negative values get a
// "-": negative zero and a NaN with its sign bit set would otherwise print as "-0.0"
// and "-nan", and a "+" template would then show "+-0.0%".
std::string fixed(double x, int decimals) {
  if (x == 0.0) x = 0.0;
  if (std::isnan(x)) x = std::numeric_limits<double>::quiet_NaN();
  return fmt::format("{:.{}f}", x, decimals);
}

}  // namespace

std::string fmt_price(double x) {
  if (x == 0.0) return "-";
  // NaN compares false with everything, so it takes the two-decimal branch.
  if (x < 1.0) return fixed(x, 4);
  return fixed(x, 2);
}

std::string fmt_pct(double x) {
  if (x >= 0.0) return "+" + fixed(x, 1) + "%";
  return fixed(x, 1) + "%";
}

std::string fmt_volume(int64_t n) {
  if (n > 999'999) return fixed(double(n) / 1'000'000.0, 1) + "M";
  if (n > 999) return fixed(double(n) / 1'000.0, 0) + "K";
  return fmt::format("{}", n);
}

std::string fmt_dollars(double x) {
  if (x >= 1'000'000.0) return "$" + fixed(x / 1'000'000.0, 1) + "M";
  if (x >= 1'000.0) return "$" + fixed(x / 1'000.0, 0) + "K";
  return "$" + fixed(x, 0);
}

std::string fmt_rvol(double x) { return fixed(x, 1) + "x"; }

}  // namespace screen
