#include "json_text.hpp"

#include <cmath>
#include <iterator>

namespace feedsim {

void append_string(JsonOut& out, std::string_view text) {
  out.push_back('"');
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': append_raw(out, "\\\""); break;
      case '\\': append_raw(out, "\\\\"); break;
      case '\n': append_raw(out, "\\n"); break;
      case '\r': append_raw(out, "\\r"); break;
      case '\t': append_raw(out, "\\t"); break;
      case '\b': append_raw(out, "\\b"); break;
      case '\f': append_raw(out, "\\f"); break;
      default:
        if (u < 0x20)
          fmt::format_to(std::back_inserter(out), "\\u{:04x}", unsigned(u));
        else
          out.push_back(c);
    }
  }
  out.push_back('"');
}

void append_fixed(JsonOut& out, double value, int decimals) {
  if (!std::isfinite(value)) value = 0;
  fmt::format_to(std::back_inserter(out), "{:.{}f}", value, decimals);
}

}  // namespace feedsim
