#pragma once
// Hand-written JSON output: strings escaped, numbers always finite.
#include <fmt/format.h>

#include <string>
#include <string_view>

namespace feedsim {

using JsonOut = fmt::memory_buffer;

// `"text"` with '"', '\' and control characters escaped; other bytes (UTF-8) as they are.
void append_string(JsonOut& out, std::string_view text);
// A number with `decimals` fraction digits; non-finite values are written as 0.
void append_fixed(JsonOut& out, double value, int decimals);

inline void append_raw(JsonOut& out, std::string_view text) { out.append(text.data(), text.data() + text.size()); }
inline std::string to_string(const JsonOut& out) { return std::string(out.data(), out.size()); }

}  // namespace feedsim
