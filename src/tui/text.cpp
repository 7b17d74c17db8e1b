#include "tui/text.hpp"

#include <utf8proc.h>

#include <cstring>

namespace tui {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
  char32_t cp;
  size_t len;     // bytes consumed from the input
  bool invalid;   // replaced by U+FFFD
};

// Strict UTF-8 decoding: overlong forms, surrogates and values above U+10FFFF are
// ill-formed; each maximal ill-formed subsequence becomes one U+FFFD.
Decoded decode(std::string_view s, size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + pos;
  const size_t avail = s.size() - pos;
  const unsigned char b0 = p[0];
  if (b0 < 0x80) return {b0, 1, false};

  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  char32_t cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return {kReplacement, 1, true};
  }
  for (size_t i = 1; i <= need; ++i) {
    if (i >= avail) return {kReplacement, i, true};
    const unsigned char b = p[i];
    const unsigned char l = i == 1 ? lo : 0x80, h = i == 1 ? hi : 0xBF;
    if (b < l || b > h) return {kReplacement, i, true};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, need + 1, false};
}

size_t encode(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = char(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = char(0xC0 | (cp >> 6));
    out[1] = char(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = char(0xE0 | (cp >> 12));
    out[1] = char(0x80 | ((cp >> 6) & 0x3F));
    out[2] = char(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = char(0xF0 | (cp >> 18));
  out[1] = char(0x80 | ((cp >> 12) & 0x3F));
  out[2] = char(0x80 | ((cp >> 6) & 0x3F));
  out[3] = char(0x80 | (cp & 0x3F));
  return 4;
}

// Unassigned code points have no agreed width or glyph; show them as U+FFFD.
Decoded decode_printable(std::string_view s, size_t pos) {
  Decoded d = decode(s, pos);
  if (!d.invalid && d.cp >= 0x80 && utf8proc_category(utf8proc_int32_t(d.cp)) == UTF8PROC_CATEGORY_CN) {
    d.cp = kReplacement;
  }
  return d;
}

}  // namespace

bool GraphemeReader::next_cluster(Grapheme& g) {
  Decoded d = decode_printable(text_, pos_);
  pos_ += d.len;
  char32_t prev = d.cp;
  bool control = is_control(d.cp);
  int width = control ? 0 : utf8proc_charwidth(utf8proc_int32_t(d.cp));
  size_t len = encode(d.cp, buf_);
  bool full = false;
  size_t codepoints = 1;
  utf8proc_int32_t state = 0;

  while (pos_ < text_.size()) {
    const Decoded n = decode_printable(text_, pos_);
    if (utf8proc_grapheme_break_stateful(utf8proc_int32_t(prev), utf8proc_int32_t(n.cp), &state)) break;
    pos_ += n.len;
    prev = n.cp;
    if (is_control(n.cp)) control = true;
    if (full) continue;
    char tmp[4];
    const size_t l = encode(n.cp, tmp);
    if (len + l > kMaxGraphemeBytes) {
      full = true;
      continue;
    }
    std::memcpy(buf_ + len, tmp, l);
    len += l;
    width += utf8proc_charwidth(utf8proc_int32_t(n.cp));
    ++codepoints;
  }

  if (control || width <= 0) return false;
  g.text = std::string_view(buf_, len);
  g.width = uint8_t(width > 2 ? 2 : width);
  g.single_codepoint = codepoints == 1;
  return true;
}

}  // namespace tui
