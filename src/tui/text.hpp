#pragma once
// Splits untrusted UTF-8 text into the grapheme clusters that may be drawn, each with
// the number of terminal columns it takes. This is the one gate between feed text and
// the screen, so its rules are strict:
// - invalid UTF-8 (each maximal ill-formed subsequence) and unassigned code points
//   become U+FFFD;
// - a cluster holding a C0 control, DEL or a C1 control is dropped whole;
// - a cluster that takes no columns (a combining mark with no base, a lone format
//   character, a line separator) is dropped;
// - a cluster is at most kMaxGraphemeBytes long: code points beyond that are dropped
//   (a base with thousands of combining marks would otherwise flood the terminal);
// - its width is the sum of its code points' widths (utf8proc), at most 2.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tui {

inline constexpr size_t kMaxGraphemeBytes = 32;

struct Grapheme {
  std::string_view text;  // valid until the reader's next call
  uint8_t width = 0;      // 1 or 2
  bool single_codepoint = true;
};

class GraphemeReader {
 public:
  explicit GraphemeReader(std::string_view text) : text_(text) {}

  // The next drawable cluster; false once the text is used up.
  bool next(Grapheme& g) {
    while (pos_ < text_.size()) {
      const auto b = static_cast<unsigned char>(text_[pos_]);
      if (b < 0x80) {
        // Two ASCII characters are always separate clusters, so a printable one
        // followed by ASCII (or the end) needs no Unicode tables.
        const bool ascii_next =
            pos_ + 1 == text_.size() || static_cast<unsigned char>(text_[pos_ + 1]) < 0x80;
        if (b < 0x20 || b == 0x7f) {  // a control is its own cluster: skip it
          ++pos_;
          continue;
        }
        if (ascii_next) {
          g.text = text_.substr(pos_, 1);
          g.width = 1;
          g.single_codepoint = true;
          ++pos_;
          return true;
        }
      }
      if (next_cluster(g)) return true;
    }
    return false;
  }

 private:
  // Reads one cluster from pos_ with the Unicode rules; false when it is dropped.
  bool next_cluster(Grapheme& g);

  std::string_view text_;
  size_t pos_ = 0;
  char buf_[kMaxGraphemeBytes];
};

// True for C0 controls, DEL and C1 controls.
constexpr bool is_control(char32_t cp) {
  return cp < 0x20 || cp == 0x7f || (cp >= 0x80 && cp <= 0x9f);
}

}  // namespace tui
