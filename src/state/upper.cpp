#include "state/upper.hpp"

#include <unicode/ucasemap.h>

#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "state/tabs.hpp"

namespace state {
namespace {

// ---- ICU ---------------------------------------------------------------------------

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

char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c; }

// Upper-cases `text` with ICU into `out`, returning the length; the ASCII mapping
// alone if ICU refuses the text, so a search never fails.
size_t icu_upper(std::string_view text, std::string& out) {
  const UCaseMap* map = root_case_map();
  if (map != nullptr && text.size() <= size_t(INT32_MAX / 4)) {
    if (out.size() < text.size() + 16) out.resize(text.size() + 16);
    for (int attempt = 0; attempt < 2; ++attempt) {
      UErrorCode status = U_ZERO_ERROR;
      const int32_t n = ucasemap_utf8ToUpper(map, out.data(), int32_t(out.size()), text.data(),
                                             int32_t(text.size()), &status);
      if (status == U_BUFFER_OVERFLOW_ERROR && n > 0) {
        out.resize(size_t(n));
        continue;
      }
      if (U_SUCCESS(status) && n >= 0) return size_t(n);
      break;
    }
  }
  if (out.size() < text.size()) out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) out[i] = ascii_upper(text[i]);
  return text.size();
}

// ---- Words of eight bytes ----------------------------------------------------------

// Byte i of a text is byte i of a little-endian word throughout.
static_assert(std::endian::native == std::endian::little);

constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Bytes i.. of the n-byte text at h; bytes past the end read as 0x80. Never reads
// outside the text: near its end it loads the last eight bytes and shifts.
[[gnu::always_inline]] inline uint64_t load_at(const unsigned char* h, size_t n, size_t i) {
  uint64_t w;
  if (i + 8 <= n) {
    std::memcpy(&w, h + i, 8);
    return w;
  }
  const size_t avail = n - i;  // 0..7
  if (avail == 0) return kHighBits;
  if (n >= 8) {
    std::memcpy(&w, h + n - 8, 8);
    w >>= 8 * (8 - avail);
  } else {
    w = 0;
    for (size_t k = 0; k < avail; ++k) w |= uint64_t(h[i + k]) << (8 * k);
  }
  return w | (kHighBits & (~uint64_t(0) << (8 * avail)));
}

// ASCII upper case of eight bytes below 0x80: adding 0x1F sets a byte's high bit from
// 'a' up, adding 0x05 from past 'z'.
uint64_t ascii_upper8(uint64_t w) {
  const uint64_t from_a = w + 0x1F1F1F1F1F1F1F1Full;
  const uint64_t past_z = w + 0x0505050505050505ull;
  const uint64_t lower = from_a & ~past_z & kHighBits;
  return w ^ (lower >> 2);  // 0x80 >> 2 is the case bit 0x20
}

// ---- Two-byte characters -----------------------------------------------------------

// The mapping of every two-byte UTF-8 character (U+0080..U+07FF: Latin, Greek,
// Cyrillic, Hebrew, Arabic...), taken from ICU once. Under the root locale the upper
// case of a character does not depend on its neighbours, so mapping character by
// character gives ICU's result for the whole text.
struct Mapped {
  uint8_t len;  // kNotTabled: leave the text to ICU
  char bytes[7];
};
constexpr uint8_t kNotTabled = 0xFF;
constexpr size_t kMaxExpansion = 4;  // bytes out per byte in, table or ASCII

struct TwoByteTable {
  std::array<Mapped, 0x800> map{};
  // Bytes that make may_upper_to_ascii answer yes: the second bytes of the two-byte
  // characters whose upper case holds ASCII ("ß" gives "SS", "ı" gives "I") or that
  // ICU must map, the leads of longer characters, and bytes no text should hold.
  std::array<bool, 256> suspect{};
};

TwoByteTable build_two_byte_table() {
  TwoByteTable t;
  const UCaseMap* map = root_case_map();
  for (uint32_t cp = 0; cp < 0x800; ++cp) {
    Mapped& m = t.map[cp];
    m.len = kNotTabled;
    if (cp < 0x80) continue;
    const char in[2] = {char(0xC0 | (cp >> 6)), char(0x80 | (cp & 0x3F))};
    char out[16];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = map ? ucasemap_utf8ToUpper(map, out, int32_t(sizeof out), in, 2, &status) : -1;
    bool to_ascii = true;
    if (map && U_SUCCESS(status) && n > 0 && size_t(n) <= sizeof m.bytes) {
      m.len = uint8_t(n);
      std::memcpy(m.bytes, out, size_t(n));
      to_ascii = false;
      for (int32_t i = 0; i < n; ++i) to_ascii |= static_cast<unsigned char>(out[i]) < 0x80;
    }
    if (to_ascii) t.suspect[static_cast<uint8_t>(in[1])] = true;
  }
  for (unsigned b = 0xE0; b < 0x100; ++b) t.suspect[b] = true;
  t.suspect[0xC0] = t.suspect[0xC1] = true;
  return t;
}

const TwoByteTable& two_byte_table() {
  static const TwoByteTable table = build_two_byte_table();
  return table;
}

// Upper-cases text made of ASCII and two-byte characters into out (room for
// kMaxExpansion bytes per input byte plus 8). Returns the length, or SIZE_MAX when
// some character is longer or ill-formed and ICU must decide. ASCII goes eight bytes
// at a time, up to the next non-ASCII byte.
size_t table_upper(std::string_view text, char* out) {
  const auto& table = two_byte_table().map;
  const auto* const h = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  char* o = out;
  while (i < n) {
    const size_t take = n - i < 8 ? n - i : 8;
    const uint64_t w = load_at(h, n, i);
    // Padding reads as 0x80, so `high` also ends the run at the end of the text.
    const uint64_t high = w & kHighBits;
    const uint64_t upper = ascii_upper8(w & ~kHighBits);
    std::memcpy(o, &upper, 8);  // bytes past the ASCII run are overwritten below
    const size_t ascii = high == 0 ? take : size_t(std::countr_zero(high)) / 8;
    i += ascii;
    o += ascii;
    if (ascii == take) continue;
    // Two-byte form: lead C2..DF (C0 and C1 would be overlong), then one continuation.
    const unsigned char b = h[i];
    if (b < 0xC2 || b > 0xDF || n - i < 2 || (h[i + 1] & 0xC0) != 0x80) return SIZE_MAX;
    const Mapped& m = table[((b & 0x1Fu) << 6) | (h[i + 1] & 0x3Fu)];
    if (m.len == kNotTabled) return SIZE_MAX;
    std::memcpy(o, m.bytes, sizeof m.bytes);  // fixed size: cheaper than m.len bytes
    o += m.len;
    i += 2;
  }
  return size_t(o - out);
}

// ASCII, without lower-case letters: what an upper-cased search typed in ASCII is.
bool upper_ascii(std::string_view s) {
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || (b >= 'a' && b <= 'z')) return false;
  }
  return true;
}

}  // namespace

namespace upper_detail {

// Looks at the non-ASCII bytes only: a suspect second byte errs only towards yes.
bool may_upper_to_ascii(std::string_view text) {
  const auto& suspect = two_byte_table().suspect;
  const auto* h = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n; i += 8) {
    const uint64_t w = load_at(h, n, i);
    uint64_t high = w & kHighBits;
    if (n - i < 8) high &= ~(~uint64_t(0) << (8 * (n - i)));  // not the padding
    for (; high != 0; high &= high - 1) {
      if (suspect[(w >> (std::countr_zero(high) & ~7)) & 0xFF]) return true;
    }
  }
  return false;
}

std::string_view upper_into_scratch(std::string_view text) {
  thread_local std::string scratch;
  const size_t room = text.size() * kMaxExpansion + 8;
  if (scratch.size() < room) scratch.resize(room);
  size_t n = table_upper(text, scratch.data());
  if (n == SIZE_MAX) n = icu_upper(text, scratch);
  return std::string_view(scratch.data(), n);
}

}  // namespace upper_detail

SearchNeedle::Pattern SearchNeedle::pattern(std::string_view needle, bool fold) {
  const upper_detail::NeedleByte b0 = upper_detail::needle_byte(needle.empty() ? '\0' : needle[0], fold);
  const upper_detail::NeedleByte b1 = upper_detail::needle_byte(needle.size() > 1 ? needle[1] : '\0', fold);
  const Bytes16 zero{};
  return Pattern{zero + b0.fold, zero + b0.want, zero + b1.fold, zero + b1.want, fold};
}

SearchNeedle::SearchNeedle(std::string_view upper)
    : text_(upper), ascii_upper_(upper_ascii(upper)), exact_(pattern(upper, false)),
      folded_(pattern(upper, true)) {}

std::string upper_case(std::string_view text) { return std::string(upper_detail::upper_into_scratch(text)); }

bool bytes_contain(std::string_view hay, std::string_view needle) { return SearchNeedle(needle).in_bytes(hay); }

bool upper_contains(std::string_view text, std::string_view upper_needle) {
  return SearchNeedle(upper_needle).in_upper_case_of(text);
}

}  // namespace state
