#include "feed/decode_numbers.hpp"

#include <charconv>
#include <cstdint>
#include <system_error>

namespace feed::detail {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_number_char(char c) {
  return is_digit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// A number literal split into its parts; `valid` is false when the token is not a
// JSON number (leading zeros, a bare "-", "1.", "1e" and the like).
struct NumberToken {
  bool valid = false;
  bool negative = false;
  std::string_view int_digits;
  std::string_view frac_digits;
  bool has_frac = false;
  bool has_exp = false;
  bool exp_negative = false;
  std::string_view exp_digits;
};

NumberToken split_number(std::string_view t) {
  NumberToken n;
  size_t i = 0;
  if (i < t.size() && t[i] == '-') {
    n.negative = true;
    ++i;
  }
  const size_t int_start = i;
  while (i < t.size() && is_digit(t[i])) ++i;
  n.int_digits = t.substr(int_start, i - int_start);
  if (n.int_digits.empty() || (n.int_digits.size() > 1 && n.int_digits[0] == '0')) return n;
  if (i < t.size() && t[i] == '.') {
    n.has_frac = true;
    const size_t start = ++i;
    while (i < t.size() && is_digit(t[i])) ++i;
    n.frac_digits = t.substr(start, i - start);
    if (n.frac_digits.empty()) return n;
  }
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    n.has_exp = true;
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) n.exp_negative = t[i++] == '-';
    const size_t start = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    n.exp_digits = t.substr(start, i - start);
    if (n.exp_digits.empty()) return n;
  }
  n.valid = i == t.size();
  return n;
}

// Whether an integer literal (no fraction, no exponent) fits int64 or uint64, the two
// integer forms the parser keeps.
bool fits_64_bits(const NumberToken& n) {
  constexpr std::string_view kMinInt64 = "9223372036854775808";    // magnitude of INT64_MIN
  constexpr std::string_view kMaxUint64 = "18446744073709551615";
  const std::string_view limit = n.negative ? kMinInt64 : kMaxUint64;
  const std::string_view d = n.int_digits;
  return d.size() < limit.size() || (d.size() == limit.size() && d <= limit);
}

// Decimal order of magnitude of a number whose value is not zero, saturated: a value
// overflows a double only with a large positive order, underflows only with a large
// negative one.
int64_t decimal_order(const NumberToken& n) {
  int64_t order = 0;
  size_t lead = n.int_digits.find_first_not_of('0');
  if (lead != std::string_view::npos) {
    order = int64_t(n.int_digits.size() - lead);
  } else {
    lead = n.frac_digits.find_first_not_of('0');
    order = lead == std::string_view::npos ? 0 : -int64_t(lead);
  }
  int64_t exp = 0;
  for (char c : n.exp_digits) {
    exp = exp * 10 + (c - '0');
    if (exp > 1'000'000'000) break;  // far beyond any double either way
  }
  return n.exp_negative ? order - exp : order + exp;
}

bool is_zero(const NumberToken& n) {
  return n.int_digits.find_first_not_of('0') == std::string_view::npos &&
         n.frac_digits.find_first_not_of('0') == std::string_view::npos;
}

// Whether the literal's value exceeds the finite double range (rounding to infinity).
bool beyond_double(std::string_view literal, const NumberToken& n) {
  if (is_zero(n)) return false;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
  (void)ptr;
  // from_chars reports both overflow and underflow as out of range; underflow is fine
  // (the parser reads it as zero).
  return ec == std::errc::result_out_of_range && decimal_order(n) > 0;
}

}  // namespace

bool widen_numbers(std::string_view text, std::string& out) {
  out.clear();
  bool changed = false;
  size_t copied = 0;  // text before this index is already in `out`
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"') {  // skip the string, escapes included
      for (++i; i < text.size(); ++i) {
        if (text[i] == '\\') {
          ++i;
        } else if (text[i] == '"') {
          break;
        }
      }
      ++i;
      continue;
    }
    if (c != '-' && !is_digit(c)) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && is_number_char(text[end])) ++end;
    const std::string_view literal = text.substr(i, end - i);
    const NumberToken n = split_number(literal);
    const bool integer = n.valid && !n.has_frac && !n.has_exp;
    const char* append = nullptr;
    bool replace = false;
    if (n.valid && !(integer && fits_64_bits(n))) {
      if (beyond_double(literal, n)) {
        replace = true;
      } else if (integer) {
        append = ".0";
      }
    }
    if (replace || append) {
      if (!changed) out.reserve(text.size() + text.size() / 8 + 64);
      changed = true;
      out.append(text.substr(copied, i - copied));
      if (replace) {
        out.append("\"\"");
      } else {
        out.append(literal);
        out.append(append);
      }
      copied = end;
    }
    i = end;
  }
  if (changed) out.append(text.substr(copied));
  return changed;
}

}  // namespace feed::detail
