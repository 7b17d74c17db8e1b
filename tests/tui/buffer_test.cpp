#include "tui/buffer.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tui {
namespace {

const Style kNone{};

std::string row(const Buffer& buf, uint16_t y) {
  std::string out;
  for (uint16_t x = 0; x < buf.width(); ++x) out += buf.at(x, y).symbol;
  return out;
}

// Every byte that may reach the terminal from a cell is printable: no C0, DEL or C1
// control, and valid UTF-8.
void expect_clean(const Buffer& buf) {
  for (const Cell& c : buf.cells()) {
    for (size_t i = 0; i < c.symbol.size(); ++i) {
      const auto b = static_cast<unsigned char>(c.symbol[i]);
      EXPECT_FALSE(b < 0x20 || b == 0x7f) << "control byte in cell";
      // C1 controls are U+0080..U+009F, encoded C2 80..C2 9F.
      if (b == 0xC2 && i + 1 < c.symbol.size()) {
        const auto n = static_cast<unsigned char>(c.symbol[i + 1]);
        EXPECT_FALSE(n >= 0x80 && n <= 0x9f) << "C1 control in cell";
      }
    }
  }
}

TEST(Buffer, ToStringJoinsRows) {
  Buffer buf(5, 3);
  buf.set_string(0, 0, "hello", kNone);
  buf.set_string(1, 1, "ab", kNone);
  buf.set_string(3, 2, "xyz", kNone);  // cut at the right edge
  EXPECT_EQ(buf.to_string(),
            "hello\n"
            " ab  \n"
            "   xy");
}

TEST(Buffer, SetStringReturnsEndColumnAndCuts) {
  Buffer buf(10, 2);
  EXPECT_EQ(buf.set_string(2, 0, "abcdef", kNone, 3), 5);
  EXPECT_EQ(buf.set_string(8, 1, "abcdef", kNone), 10);
  EXPECT_EQ(buf.set_string(0, 5, "abc", kNone), 0);    // below the buffer
  EXPECT_EQ(buf.set_string(12, 0, "abc", kNone), 12);  // right of the buffer
  EXPECT_EQ(buf.to_string(),
            "  abc     \n"
            "        ab");
  EXPECT_TRUE(buf.put_text(0, 0, "abc", kNone, 3).complete);
  EXPECT_FALSE(buf.put_text(0, 0, "abcd", kNone, 3).complete);
  EXPECT_TRUE(buf.put_text(0, 0, "ab\x01", kNone, 2).complete);  // the control takes no room
}

TEST(Buffer, WideCharactersTakeTwoCells) {
  Buffer buf(6, 1);
  EXPECT_EQ(buf.set_string(0, 0, "a中b", kNone), 4);
  EXPECT_EQ(buf.at(1, 0).symbol, "中");
  EXPECT_EQ(buf.at(2, 0).symbol, "");
  EXPECT_EQ(buf.at(3, 0).symbol, "b");
  EXPECT_EQ(buf.to_string(), "a中b  ");
  EXPECT_EQ(text_width("a中b"), 4);
}

TEST(Buffer, WideCharacterThatDoesNotFitIsNotDrawn) {
  Buffer buf(4, 2);
  EXPECT_EQ(buf.set_string(0, 0, "abc中d", kNone), 3);  // edge of the buffer
  EXPECT_EQ(buf.set_string(0, 1, "a中", kNone, 2), 1);  // max_width
  EXPECT_EQ(buf.to_string(),
            "abc \n"
            "a   ");
}

TEST(Buffer, OverwritingHalfAWideCharacterBlanksTheOtherHalf) {
  Buffer buf(6, 2);
  buf.set_string(0, 0, "中文", kNone);  // cells 0-1 and 2-3
  buf.set_string(1, 0, "x", kNone);     // second half of 中
  EXPECT_EQ(buf.at(0, 0).symbol, " ");
  EXPECT_EQ(row(buf, 0), " x文  ");

  buf.set_string(0, 1, "中文", kNone);
  buf.set_string(2, 1, "y", kNone);  // first half of 文
  EXPECT_EQ(buf.at(3, 1).symbol, " ");
  EXPECT_EQ(row(buf, 1), "中y   ");

  buf.set_string(1, 1, "字", kNone);  // straddles both: 中's second half, y
  EXPECT_EQ(row(buf, 1), " 字   ");
  for (uint16_t y = 0; y < 2; ++y)
    for (uint16_t x = 0; x < 6; ++x)
      if (buf.at(x, y).symbol.empty()) {
        ASSERT_GT(x, 0);
        EXPECT_EQ(text_width(buf.at(x - 1, y).symbol), 2) << "orphan second half at " << x << "," << y;
      }
}

TEST(Buffer, StylePatchedOverCells) {
  Buffer buf(6, 1);
  const Color stripe = Color::rgb(20, 20, 28);
  buf.set_style(buf.area(), Style{}.with_bg(stripe));
  buf.set_string(1, 0, "ab", fg(colors::kRed).with_bold());
  buf.set_string(3, 0, "c", kNone);

  EXPECT_EQ(buf.at(0, 0).bg, stripe);
  EXPECT_EQ(buf.at(0, 0).fg, Color::reset());
  EXPECT_EQ(buf.at(1, 0).fg, colors::kRed);
  EXPECT_EQ(buf.at(1, 0).bg, stripe) << "a text that sets only fg keeps the row background";
  EXPECT_TRUE(buf.at(2, 0).bold);
  EXPECT_FALSE(buf.at(3, 0).bold);
  EXPECT_EQ(buf.at(3, 0).bg, stripe);

  buf.set_style(Rect{4, 0, 10, 5}, Style{}.with_underlined());  // clipped, no overflow
  EXPECT_TRUE(buf.at(5, 0).underlined);
  EXPECT_FALSE(buf.at(3, 0).underlined);

  buf.reset();
  EXPECT_EQ(buf.at(1, 0), Cell{});
}

TEST(Buffer, UntrustedTextNeverPutsControlsInCells) {
  struct Case {
    std::string text;
    std::string shown;  // to_string of a 6-cell line
  };
  const Case cases[] = {
      {"a\x1b[2Jb", "a[2Jb "},           // ESC dropped, the rest is plain text
      {"a\tb\r\nc", "abc   "},           // C0, CR LF
      {"a\x7f" "b", "ab    "},           // DEL
      {"a\xc2\x9b" "2Jb", "a2Jb  "},     // C1 CSI (U+009B)
      {"\xc2\x85z", "z     "},           // C1 NEL
      {"a\xff" "b", "a\xEF\xBF\xBD" "b   "},            // invalid byte
      {"\xe2\x82", "\xEF\xBF\xBD     "},                 // truncated sequence: one U+FFFD
      {"\xc0\xaf", "\xEF\xBF\xBD\xEF\xBF\xBD    "},      // overlong '/'
      {"\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD   "},  // surrogate
      {"\xcd\x81x", "x     "},           // combining mark without a base: no cell
      {"a\xe2\x80\xae" "b", "ab    "},     // right-to-left override
      {"a\xe2\x80\xa8" "b", "ab    "},     // line separator
      {"\xf4\x8f\xbf\xbf", "\xEF\xBF\xBD     "},  // unassigned code point
  };
  for (const Case& c : cases) {
    Buffer buf(6, 1);
    buf.set_string(0, 0, c.text, kNone);
    EXPECT_EQ(buf.to_string(), c.shown) << "text: " << testing::PrintToString(c.text);
    expect_clean(buf);
  }
}

TEST(Buffer, CombiningMarksStayInTheirBaseCell) {
  Buffer buf(4, 1);
  EXPECT_EQ(buf.set_string(0, 0, "e\xcc\x81x", kNone), 2);  // e + U+0301
  EXPECT_EQ(buf.at(0, 0).symbol, "e\xcc\x81");
  EXPECT_EQ(buf.at(1, 0).symbol, "x");
  EXPECT_EQ(text_width("e\xcc\x81x"), 2);

  // A base drowned in marks keeps a bounded cluster and still takes one cell.
  std::string zalgo = "a";
  for (int i = 0; i < 500; ++i) zalgo += "\xcc\x81";
  zalgo += "b";
  Buffer big(4, 1);
  EXPECT_EQ(big.set_string(0, 0, zalgo, kNone), 2);
  EXPECT_LE(big.at(0, 0).symbol.size(), 32u);
  EXPECT_EQ(big.at(1, 0).symbol, "b");
}

TEST(Buffer, EmojiSequencesAreOneCluster) {
  Buffer buf(6, 1);
  const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9";  // man ZWJ woman
  EXPECT_EQ(buf.set_string(0, 0, family + "x", kNone), 3);
  EXPECT_EQ(buf.at(0, 0).symbol, family);
  EXPECT_EQ(buf.at(1, 0).symbol, "");
  EXPECT_EQ(buf.at(2, 0).symbol, "x");
}

// Valid UTF-8 with no surrogates, no overlong forms, nothing above U+10FFFF.
bool valid_utf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    char32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n;
  }
  return true;
}

TEST(Buffer, RandomTextKeepsEveryCellDrawable) {
  // Byte soup biased towards the dangerous parts: escapes, C1 in both encodings,
  // fragments of multi-byte characters, wide and combining characters.
  const std::string pieces[] = {"\x1b", "[", "\x9b", "\xc2\x9b", "\xc2\x85", "\x07", "\x7f", "\r\n", "\xe2\x82",
                                "\xf0\x9f", "\xcc\x81", "中", "é", "\xF0\x9F\x91\xA8", "\xE2\x80\x8D",
                                "\xed\xa0\x80", "\xff", "a", "Z", " ", "\xe2\x80\xae", "\xe1\x84\x80"};
  std::mt19937 rng(7);
  Buffer buf(17, 3);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int n = int(rng() % 12);
    for (int i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)];
    buf.set_string(uint16_t(rng() % 19), uint16_t(rng() % 3), text, kNone, uint16_t(rng() % 20));
    for (uint16_t y = 0; y < buf.height(); ++y)
      for (uint16_t x = 0; x < buf.width(); ++x) {
        const std::string& sym = buf.at(x, y).symbol;
        ASSERT_TRUE(valid_utf8(sym)) << testing::PrintToString(text);
        if (sym.empty()) {
          ASSERT_GT(x, 0) << testing::PrintToString(text);
          ASSERT_EQ(text_width(buf.at(x - 1, y).symbol), 2) << testing::PrintToString(text);
        } else {
          ASSERT_EQ(text_width(sym), (x + 1 < buf.width() && buf.at(x + 1, y).symbol.empty()) ? 2 : 1)
              << testing::PrintToString(text) << " at " << x;
        }
      }
    expect_clean(buf);
    if (testing::Test::HasFailure()) return;
  }
}

TEST(Buffer, ZeroSizedBufferIgnoresWrites) {
  Buffer buf;
  EXPECT_EQ(buf.set_string(0, 0, "abc", kNone), 0);
  buf.set_style(Rect{0, 0, 5, 5}, Style{}.with_bold());
  EXPECT_EQ(buf.to_string(), "");
}

}  // namespace
}  // namespace tui
