#pragma once
// Upper-case matching used by the search: the root locale's full case mapping, with
// paths for ASCII text that give the same result without ICU. The matching is inline:
// it runs for every row of a search.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace state {

namespace upper_detail {

// Whether some character of `text` may upper-case to something holding ASCII.
bool may_upper_to_ascii(std::string_view text);
// upper_case(text) in the calling thread's scratch buffer, valid until its next use.
std::string_view upper_into_scratch(std::string_view text);

// One byte of the needle: text byte c matches when (c | fold) == want. With folding,
// an ASCII letter matches either case, which on ASCII bytes is "upper(c) == letter".
struct NeedleByte {
  uint8_t fold;
  uint8_t want;
};

inline NeedleByte needle_byte(char n, bool fold) {
  const auto c = static_cast<unsigned char>(n);
  if (fold && c >= 'A' && c <= 'Z') return {0x20, uint8_t(c | 0x20)};
  return {0, c};
}

// The high bits of the eight bytes of w (each 0x00 or 0x80 apart from them) as the
// eight low bits of the result, byte i to bit i. The product places every high bit at
// a distinct power of two, so nothing carries into bits 56..63.
inline unsigned byte_mask(uint64_t w) {
  return unsigned(((w & 0x8080808080808080ull) * 0x0002040810204081ull) >> 56);
}

// Sixteen bytes as one vector: the compiler's portable vector type (SSE2 on x86-64).
using Bytes16 = uint8_t __attribute__((vector_size(16)));

}  // namespace upper_detail

// A search text, already upper-cased, prepared once for matching many texts. It views
// the text, which must outlive it. Matching allocates nothing once the thread's
// scratch buffer has grown to the longest non-ASCII text seen.
class SearchNeedle {
 public:
  explicit SearchNeedle(std::string_view upper);

  bool empty() const { return text_.empty(); }

  // Whether `hay` contains the needle byte for byte.
  bool in_bytes(std::string_view hay) const { return text_.empty() || find(hay, exact_); }

  // Whether upper_case(text) contains the needle.
  bool in_upper_case_of(std::string_view text) const {
    if (text_.empty()) return true;
    if (ascii_upper_) {
      // Upper-casing maps each ASCII run of the text to the same run upper-cased and
      // (but for the few characters may_upper_to_ascii looks for) every other character
      // to bytes outside ASCII. An ASCII needle then occurs in the upper case exactly
      // where it occurs in the text with letters folded, and nothing needs writing.
      if (find(text, folded_)) return true;
      if (!upper_detail::may_upper_to_ascii(text)) return false;
    }
    return find(upper_detail::upper_into_scratch(text), exact_);
  }

 private:
  using Bytes16 = upper_detail::Bytes16;

  // The first two needle bytes, each repeated over a vector: byte c matches when
  // (c | or) == eq. `fold` matches ASCII letters in either case.
  struct Pattern {
    Bytes16 v_or0, v_eq0, v_or1, v_eq1;
    bool fold;
  };
  static Pattern pattern(std::string_view needle, bool fold);

  bool rest_matches(const unsigned char* h, size_t pos, size_t from, bool fold) const {
    for (size_t j = from; j < text_.size(); ++j) {
      const upper_detail::NeedleByte b = upper_detail::needle_byte(text_[j], fold);
      if ((h[pos + j] | b.fold) != b.want) return false;
    }
    return true;
  }

  // Tests sixteen positions at once on the first two needle bytes, without a branch
  // per byte; only their hits are checked further. Texts shorter than a window go byte
  // by byte. Windows may overlap near the end: testing a position twice changes nothing.
  bool find(std::string_view hay, const Pattern& p) const {
    const size_t n = hay.size();
    const size_t m = text_.size();
    if (m > n) return false;
    const auto* h = reinterpret_cast<const unsigned char*>(hay.data());
    const size_t last = n - m;
    // Two bytes loaded per position need 17 bytes for a window of 16 positions.
    const size_t span = m == 1 ? 16 : 17;
    if (n < span) {
      const uint8_t or0 = p.v_or0[0], eq0 = p.v_eq0[0], or1 = p.v_or1[0], eq1 = p.v_eq1[0];
      for (size_t pos = 0; pos <= last; ++pos) {
        if ((h[pos] | or0) == eq0 && (m == 1 || (h[pos + 1] | or1) == eq1) && rest_matches(h, pos, 2, p.fold)) {
          return true;
        }
      }
      return false;
    }
    const auto window = [&](size_t i) __attribute__((always_inline)) {
      Bytes16 a;
      std::memcpy(&a, h + i, 16);
      auto hit = (a | p.v_or0) == p.v_eq0;  // 0xFF where the first byte matches
      if (m > 1) {
        Bytes16 b;
        std::memcpy(&b, h + i + 1, 16);
        hit &= (b | p.v_or1) == p.v_eq1;
      }
      uint64_t half[2];
      std::memcpy(half, &hit, 16);
      unsigned hits = upper_detail::byte_mask(half[0]) | (upper_detail::byte_mask(half[1]) << 8);
      if (last - i < 15) hits &= (1u << (last - i + 1)) - 1;  // starts past `last`
      if (m <= 2) return hits != 0;
      for (; hits != 0; hits &= hits - 1) {
        if (rest_matches(h, i + size_t(std::countr_zero(hits)), 2, p.fold)) return true;
      }
      return false;
    };
    size_t i = 0;
    for (; i + span <= n && i <= last; i += 16) {
      if (window(i)) return true;
    }
    // What is left starts past the last full window: the window ending at the text's
    // end covers it.
    return i <= last && window(n - span);
  }

  std::string_view text_;
  bool ascii_upper_;  // ASCII without lower-case letters
  Pattern exact_;
  Pattern folded_;
};

// One-off forms of the two tests.
bool bytes_contain(std::string_view hay, std::string_view needle);
bool upper_contains(std::string_view text, std::string_view upper_needle);

}  // namespace state
