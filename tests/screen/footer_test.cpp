#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "screen/panels.hpp"
#include "screen_support.hpp"

namespace screen {
namespace {

using namespace screen_test;
using namespace tui::colors;

const std::string kKeys = "1-9:tabs  ↑↓jk:scroll  PgUp/PgDn:page  /:search  Esc:clear  q:quit  ";

std::string footer(uint64_t scroll, uint64_t total, uint16_t width = 80) {
  tui::Buffer buf(width, 1);
  render_footer(scroll, total, buf, buf.area());
  return buf.to_string();
}

TEST(Footer, PositionText) {
  const uint64_t kMax = std::numeric_limits<uint64_t>::max();
  const struct {
    uint64_t scroll, total;
    const char* pos;
  } cases[] = {
      {0, 0, "0/0"},         {7, 0, "0/0"},           {0, 120, "1/120"},
      {5, 120, "6/120"},     {119, 120, "120/120"},   {500, 120, "120/120"},
      {kMax, 120, "120/120"},  // the addition saturates instead of wrapping to 0
      {kMax - 1, kMax, "18446744073709551615/18446744073709551615"},
  };
  for (const auto& c : cases) {
    const std::string want = kKeys + c.pos;
    tui::Buffer buf(120, 1);
    render_footer(c.scroll, c.total, buf, buf.area());
    EXPECT_EQ(buf.to_string(), want + std::string(120 - 68 - std::string(c.pos).size(), ' '))
        << c.scroll << " of " << c.total;
  }
}

TEST(Footer, PiecesAndColours) {
  tui::Buffer buf(80, 1);
  render_footer(5, 120, buf, buf.area());
  // The twelve fixed pieces take 68 columns; the position starts in the 69th.
  EXPECT_EQ(find_col(buf, 0, "6/120"), 68);
  for (const char* key : {"1-9", "↑↓jk", "PgUp/PgDn", "/", "Esc", "q"}) {
    EXPECT_TRUE(text_looks(buf, 0, key, fg_look(kYellow))) << key;
  }
  for (const char* desc : {":tabs  ", ":scroll  ", ":page  ", ":search  ", ":clear  ", ":quit  "}) {
    EXPECT_TRUE(text_looks(buf, 0, desc, Look{})) << desc;
  }
  EXPECT_TRUE(text_looks(buf, 0, "6/120", fg_look(kDarkGray)));
  EXPECT_EQ(look(buf, 79, 0), Look{});  // nothing past the text
}

TEST(Footer, NarrowLineCutsAtTheRightEdge) {
  EXPECT_EQ(footer(0, 120, 67), "1-9:tabs  ↑↓jk:scroll  PgUp/PgDn:page  /:search  Esc:clear  q:quit ");
  EXPECT_EQ(footer(0, 120, 20), "1-9:tabs  ↑↓jk:scrol");
  EXPECT_EQ(footer(0, 120, 70), kKeys + "1/");
}

TEST(Footer, StaysInsideItsArea) {
  tui::Buffer buf(90, 3);
  render_footer(0, 9, buf, tui::Rect{4, 1, 75, 1});
  EXPECT_EQ(buf.to_string(), std::string(90, ' ') + "\n    " + kKeys + "1/9" + std::string(90 - 4 - 71, ' ') +
                                 "\n" + std::string(90, ' '));
}

}  // namespace
}  // namespace screen
