#pragma once
// Display texts of the table and summary values. Fixed-point texts round to nearest
// with exact ties to even; only negative values carry a "-".
#include <cstdint>
#include <string>

namespace screen {

// "-" for 0; four decimals below 1 (negative prices included); two decimals otherwise.
std::string fmt_price(double x);
// Signed percentage with one decimal: "+4.2%", "-2.0%".
std::string fmt_pct(double x);
// Share counts: "1.2M" above 999,999, "12K" above 999, else the plain integer.
std::string fmt_volume(int64_t n);
// Dollar amounts: "$2.5M" from 1,000,000, "$2K" from 1,000, else "$999".
std::string fmt_dollars(double x);
// Relative volume: "2.5x".
std::string fmt_rvol(double x);

}  // namespace screen
