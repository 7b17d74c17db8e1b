#include "tui/widgets.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace tui {
namespace {

using K = Constraint;

TEST(SplitVertical, LengthAndMinParts) {
  struct Case {
    Rect area;
    std::vector<Constraint> constraints;
    std::vector<uint16_t> heights;
  };
  const std::vector<Constraint> bands{K::length(6), K::min(0)};
  const std::vector<Constraint> table{K::length(1), K::length(1), K::min(1), K::length(1)};
  const Case cases[] = {
      {{0, 0, 80, 24}, bands, {6, 18}},
      {{0, 0, 80, 6}, bands, {6, 0}},
      {{0, 0, 80, 4}, bands, {4, 0}},
      {{0, 0, 80, 0}, bands, {0, 0}},
      {{1, 7, 78, 4}, table, {1, 1, 1, 1}},
      {{1, 7, 78, 16}, table, {1, 1, 13, 1}},
      // Too short: the Min part keeps its minimum, the last Length part goes short.
      {{1, 7, 78, 3}, table, {1, 1, 1, 0}},
      {{0, 0, 10, 5}, {K::length(2), K::length(2)}, {2, 2}},  // no Min part: rows left over stay unused
  };
  for (const Case& c : cases) {
    const std::vector<Rect> parts = split_vertical(c.area, c.constraints);
    ASSERT_EQ(parts.size(), c.heights.size());
    uint16_t y = c.area.y;
    for (size_t i = 0; i < parts.size(); ++i) {
      EXPECT_EQ(parts[i], (Rect{c.area.x, y, c.area.width, c.heights[i]}))
          << "height " << c.area.height << ", part " << i;
      y = uint16_t(y + c.heights[i]);
    }
  }
}

TEST(DrawBox, BorderTitleAndInner) {
  Buffer buf(12, 4);
  const Rect inner = draw_box(buf, buf.area(), " Title ", fg(colors::kRed));
  EXPECT_EQ(inner, (Rect{1, 1, 10, 2}));
  EXPECT_EQ(buf.to_string(),
            "┌ Title ───┐\n"
            "│          │\n"
            "│          │\n"
            "└──────────┘");
  EXPECT_EQ(buf.at(0, 0).fg, colors::kRed);
  EXPECT_EQ(buf.at(9, 0).fg, colors::kRed);
  EXPECT_EQ(buf.at(2, 0).fg, Color::reset()) << "the title keeps the cells' own style";
  EXPECT_EQ(buf.at(5, 1).fg, Color::reset()) << "the inside is left alone";
}

TEST(DrawBox, TitleIsCutBeforeTheCorner) {
  Buffer buf(8, 3);
  draw_box(buf, buf.area(), " Ambertide Scanner ");
  EXPECT_EQ(buf.to_string(),
            "┌ Amber┐\n"
            "│      │\n"
            "└──────┘");
}

TEST(DrawBox, SmallAreasDrawWhatFits) {
  struct Case {
    Rect area;
    std::string shown;
    Rect inner;
  };
  const Case cases[] = {
      {{1, 0, 2, 2}, " ┌┐ \n └┘ \n    ", {2, 1, 0, 0}},
      {{1, 0, 1, 3}, " ┌  \n │  \n └  ", {2, 1, 0, 0}},
      {{0, 1, 4, 1}, "    \n┌T─┐\n    ", {1, 2, 0, 0}},
      {{0, 0, 0, 3}, "    \n    \n    ", {0, 0, 0, 0}},
      {{2, 1, 5, 5}, "    \n  ┌┐\n  └┘", {3, 2, 0, 0}},  // clipped to the buffer
  };
  for (const Case& c : cases) {
    Buffer buf(4, 3);
    EXPECT_EQ(draw_box(buf, c.area, "T"), c.inner) << c.shown;
    EXPECT_EQ(buf.to_string(), c.shown);
  }
}

TEST(DrawLine, PiecesLeftToRightCutAtTheRightEdge) {
  Buffer buf(12, 2);
  const Line line{{"ab", fg(colors::kYellow)}, {" ", {}}, {"cdefghijklmn", fg(colors::kCyan).with_bold()}};
  draw_line(buf, Rect{2, 1, 8, 3}, line);
  EXPECT_EQ(buf.to_string(),
            "            \n"
            "  ab cdefg  ");
  EXPECT_EQ(buf.at(2, 1).fg, colors::kYellow);
  EXPECT_EQ(buf.at(4, 1).fg, Color::reset());
  EXPECT_EQ(buf.at(5, 1).fg, colors::kCyan);
  EXPECT_TRUE(buf.at(9, 1).bold);
  EXPECT_EQ(buf.at(10, 1).fg, Color::reset()) << "nothing beyond the area";

  // A wide character cut at the edge ends the line: no later piece fills the gap.
  Buffer wide(4, 1);
  draw_line(wide, wide.area(), Line{{"abc中", {}}, {"d", {}}});
  EXPECT_EQ(wide.to_string(), "abc ");
}

TEST(DrawLine, BaseStyleCoversTheRow) {
  Buffer buf(6, 1);
  draw_line(buf, buf.area(), Line{{"ab", fg(colors::kRed)}}, Style{}.with_bg(colors::kDarkGray));
  EXPECT_EQ(buf.at(0, 0).bg, colors::kDarkGray);
  EXPECT_EQ(buf.at(0, 0).fg, colors::kRed);
  EXPECT_EQ(buf.at(5, 0).bg, colors::kDarkGray);
}

TEST(DrawParagraph, LinesBeyondTheHeightAreCut) {
  Buffer buf(6, 4);
  const std::array<Line, 4> lines{Line{{"one", {}}}, Line{{"two", {}}, {"+", fg(colors::kGreen)}},
                                  Line{{"three", {}}}, Line{{"four", {}}}};
  draw_paragraph(buf, Rect{1, 1, 4, 2}, lines);
  EXPECT_EQ(buf.to_string(),
            "      \n"
            " one  \n"
            " two+ \n"
            "      ");
  EXPECT_EQ(buf.at(4, 2).fg, colors::kGreen);
}

TEST(DrawTable, ColumnsGapsAndRowStyles) {
  const std::array<uint16_t, 3> widths{4, 3, 5};
  const Color stripe = Color::rgb(20, 20, 28);
  const TableRow header{{{"Sym", {}}, {"Px", {}}, {"Chg", {}}}, fg(colors::kWhite).with_bold().with_underlined()};
  const std::array<TableRow, 3> rows{
      TableRow{{{"ABCDEF", fg(colors::kWhite).with_bold()}, {"1.5", {}}, {"+2%", fg(colors::kGreen)}}, {}},
      TableRow{{{"XY", {}}, {"12345", {}}}, Style{}.with_bg(stripe)},  // long text cut, missing cell blank
      TableRow{{{"ZZ", {}}}, {}},
  };
  Buffer buf(17, 3);
  draw_table(buf, buf.area(), widths, header, rows);  // the third row does not fit
  EXPECT_EQ(buf.to_string(),
            "Sym  Px  Chg     \n"
            "ABCD 1.5 +2%     \n"
            "XY   123         ");

  for (uint16_t x = 0; x < 17; ++x) {
    EXPECT_TRUE(buf.at(x, 0).underlined) << "header style over the whole width, gaps included: " << x;
    EXPECT_EQ(buf.at(x, 2).bg, stripe) << "row style over the whole width: " << x;
    EXPECT_EQ(buf.at(x, 1).bg, Color::reset());
  }
  EXPECT_EQ(buf.at(9, 1).fg, colors::kGreen);
  EXPECT_EQ(buf.at(9, 2).fg, Color::reset());
  EXPECT_EQ(buf.at(9, 2).bg, stripe) << "the cell's text keeps the row background";
  EXPECT_TRUE(buf.at(0, 1).bold);
  EXPECT_FALSE(buf.at(4, 1).bold) << "gap keeps the row style only";
}

TEST(DrawTable, AreaNarrowerThanTheColumnsCutsAtItsRightEdge) {
  const std::array<uint16_t, 3> widths{4, 3, 5};
  const TableRow header{{{"Sym", {}}, {"Px", {}}, {"Chg", {}}}, Style{}.with_underlined()};
  const std::array<TableRow, 1> rows{TableRow{{{"AB", {}}, {"1.5", {}}, {"+2%", {}}}, {}}};
  Buffer buf(12, 3);
  draw_table(buf, Rect{1, 0, 7, 3}, widths, header, rows);
  EXPECT_EQ(buf.to_string(),
            " Sym  Px    \n"
            " AB   1.    \n"
            "            ");
  EXPECT_TRUE(buf.at(7, 0).underlined);
  EXPECT_FALSE(buf.at(8, 0).underlined) << "nothing right of the area";

  // Height 1: the header alone; an empty list: the header and nothing under it.
  Buffer one(12, 2);
  draw_table(one, Rect{0, 0, 12, 1}, widths, header, rows);
  draw_table(one, Rect{0, 1, 12, 1}, widths, header, {});
  EXPECT_EQ(one.to_string(),
            "Sym  Px  Chg\n"
            "Sym  Px  Chg");
}

}  // namespace
}  // namespace tui
