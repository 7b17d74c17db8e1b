#include "state/upper.hpp"

#include <unicode/ucasemap.h>

#include <climits>
#include <cstdint>
#include <string>

#include "state/tabs.hpp"

namespace state {
namespace {

char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c; }

// The root locale (""): no language-specific rules such as the Turkish dotted i.
// ucasemap_utf8ToUpper takes the map as const, so one map serves every thread.
const UCaseMap* root_case_map() {
  static const UCaseMap* const map = [] {
    UErrorCode status = U_ZERO_ERROR;
    UCaseMap* m = ucasemap_open("", 0, &status);
    return U_SUCCESS(status) ? m : nullptr;
  }();
  return map;
}

// Upper-cases non-ASCII `text` into `out` (resized to the result). Falls back to the
// ASCII mapping alone if ICU refuses the text, so a search never fails.
void icu_upper(std::string_view text, std::string& out) {
  const UCaseMap* map = root_case_map();
  if (map != nullptr && text.size() <= size_t(INT32_MAX / 3)) {
    // Full mapping grows UTF-8 by at most 3x per scalar value; start with room for the usual case.
    if (out.size() < text.size() + 16) out.resize(text.size() + 16);
    for (int attempt = 0; attempt < 2; ++attempt) {
      UErrorCode status = U_ZERO_ERROR;
      const int32_t n = ucasemap_utf8ToUpper(map, out.data(), int32_t(out.size()), text.data(),
                                             int32_t(text.size()), &status);
      if (status == U_BUFFER_OVERFLOW_ERROR && n > 0) {
        out.resize(size_t(n));
        continue;
      }
      if (U_SUCCESS(status) && n >= 0) {
        out.resize(size_t(n));
        return;
      }
      break;
    }
  }
  out.assign(text);
  for (char& c : out) c = ascii_upper(c);
}

// Substring search over ASCII `text` as if upper-cased; `needle` is non-empty ASCII.
bool ascii_upper_contains(std::string_view text, std::string_view needle) {
  if (needle.size() > text.size()) return false;
  const size_t last = text.size() - needle.size();
  const char first = needle[0];
  for (size_t i = 0; i <= last; ++i) {
    if (ascii_upper(text[i]) != first) continue;
    size_t j = 1;
    while (j < needle.size() && ascii_upper(text[i + j]) == needle[j]) ++j;
    if (j == needle.size()) return true;
  }
  return false;
}

}  // namespace

bool is_ascii(std::string_view text) {
  unsigned char bits = 0;
  for (char c : text) bits |= static_cast<unsigned char>(c);
  return bits < 0x80;
}

std::string upper_case(std::string_view text) {
  std::string out;
  if (is_ascii(text)) {
    out.assign(text);
    for (char& c : out) c = ascii_upper(c);
  } else {
    icu_upper(text, out);
  }
  return out;
}

bool upper_contains(std::string_view text, std::string_view upper_needle) {
  if (upper_needle.empty()) return true;
  if (is_ascii(text)) {
    // ASCII upper-cases to ASCII, so a needle with any other byte cannot occur in it.
    return is_ascii(upper_needle) && ascii_upper_contains(text, upper_needle);
  }
  thread_local std::string scratch;
  icu_upper(text, scratch);
  return std::string_view(scratch).find(upper_needle) != std::string_view::npos;
}

}  // namespace state
