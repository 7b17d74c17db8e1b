#pragma once
// Display texts of the table and summary values.
#include <cstdint>
#include <string>

namespace screen {

std::string fmt_price(double x);
std::string fmt_pct(double x);
std::string fmt_volume(int64_t n);
std::string fmt_dollars(double x);

}  // namespace screen
