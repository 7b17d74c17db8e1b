#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "screen/formats.hpp"

namespace screen {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct FloatCase {
  const char* what;
  std::string (*fmt)(double);
  double x;
  const char* want;
};

TEST(Formats, FloatValues) {
  const FloatCase cases[] = {
      {"price", fmt_price, 0.0, "-"},
      {"price", fmt_price, -0.0, "-"},
      {"price", fmt_price, 0.5, "0.5000"},
      {"price", fmt_price, -0.5, "-0.5000"},
      {"price", fmt_price, 0.8125, "0.8125"},
      {"price", fmt_price, 0.99995, "1.0000"},  // below 1, so four decimals even when it rounds up
      {"price", fmt_price, 1.0, "1.00"},
      {"price", fmt_price, 12.3, "12.30"},
      {"price", fmt_price, 189.5, "189.50"},
      {"price", fmt_price, 0.125, "0.1250"},
      {"price", fmt_price, 1.125, "1.12"},  // exact tie, to even
      {"price", fmt_price, -12.0, "-12.0000"},
      {"price", fmt_price, kNaN, "nan"},
      {"price", fmt_price, -kNaN, "nan"},
      {"price", fmt_price, kInf, "inf"},

      {"pct", fmt_pct, 4.25, "+4.2%"},  // exact tie, to even
      {"pct", fmt_pct, 4.35, "+4.3%"},  // 4.35 is just below the tie in binary
      {"pct", fmt_pct, 3.14159, "+3.1%"},
      {"pct", fmt_pct, 2.345, "+2.3%"},
      {"pct", fmt_pct, 0.0, "+0.0%"},
      {"pct", fmt_pct, -0.0, "+0.0%"},  // negative zero is zero, not "+-0.0%"
      {"pct", fmt_pct, 0.04, "+0.0%"},
      {"pct", fmt_pct, -0.04, "-0.0%"},  // below 0: keeps its sign
      {"pct", fmt_pct, -2.0, "-2.0%"},
      {"pct", fmt_pct, -3.5, "-3.5%"},
      {"pct", fmt_pct, 1234.56, "+1234.6%"},
      {"pct", fmt_pct, kNaN, "nan%"},
      {"pct", fmt_pct, -kNaN, "nan%"},
      {"pct", fmt_pct, -kInf, "-inf%"},

      {"dollars", fmt_dollars, 0.0, "$0"},
      {"dollars", fmt_dollars, -0.0, "$0"},
      {"dollars", fmt_dollars, 690.5, "$690"},  // exact tie, to even
      {"dollars", fmt_dollars, 691.5, "$692"},
      {"dollars", fmt_dollars, 999.4, "$999"},
      {"dollars", fmt_dollars, 999.5, "$1000"},  // below 1,000 keeps the plain form
      {"dollars", fmt_dollars, 1000.0, "$1K"},
      {"dollars", fmt_dollars, 1500.0, "$2K"},
      {"dollars", fmt_dollars, 2500.0, "$2K"},  // exact tie, to even
      {"dollars", fmt_dollars, 999999.0, "$1000K"},
      {"dollars", fmt_dollars, 1000000.0, "$1.0M"},
      {"dollars", fmt_dollars, 2500000.0, "$2.5M"},
      {"dollars", fmt_dollars, 234000000.0, "$234.0M"},
      {"dollars", fmt_dollars, -5.0, "$-5"},
      {"dollars", fmt_dollars, kNaN, "$nan"},

      {"rvol", fmt_rvol, 2.5, "2.5x"},
      {"rvol", fmt_rvol, 2.0, "2.0x"},
      {"rvol", fmt_rvol, 1.99, "2.0x"},
      {"rvol", fmt_rvol, 0.25, "0.2x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.fmt(c.x), c.want) << c.what << "(" << c.x << ")";
  }
}

TEST(Formats, Volume) {
  const struct {
    int64_t n;
    const char* want;
  } cases[] = {
      {0, "0"},
      {850, "850"},
      {999, "999"},
      {1000, "1K"},
      {1500, "2K"},
      {2500, "2K"},  // exact tie, to even
      {12345, "12K"},
      {999999, "1000K"},
      {1000000, "1.0M"},
      {1234567, "1.2M"},
      {1250000, "1.2M"},  // exact tie, to even
      {-5, "-5"},
      {-5000000, "-5000000"},  // negative counts stay plain
      {std::numeric_limits<int64_t>::max(), "9223372036854.8M"},
      {std::numeric_limits<int64_t>::min(), "-9223372036854775808"},
  };
  for (const auto& c : cases) EXPECT_EQ(fmt_volume(c.n), c.want) << c.n;
}

}  // namespace
}  // namespace screen
