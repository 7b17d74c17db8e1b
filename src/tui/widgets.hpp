#pragma once
// The few widgets the panels need: vertical layout, a bordered box, a paragraph of
// styled lines and a table with fixed column widths. All draw with clipping into the
// given rectangle and keep nothing between frames.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tui/buffer.hpp"
#include "tui/rect.hpp"
#include "tui/style.hpp"

namespace tui {

struct Span {
  std::string text;
  Style style;
};
using Line = std::vector<Span>;

struct Constraint {
  enum class Kind : uint8_t { Length, Min };
  Kind kind;
  uint16_t value;
  static constexpr Constraint length(uint16_t n) { return {Kind::Length, n}; }
  static constexpr Constraint min(uint16_t n) { return {Kind::Min, n}; }
};

// Splits `area` from top to bottom: Min parts get their minimum first, Length parts
// then get their length in order while rows remain, and the rows left over go to the
// first Min part. Every part spans the full width.
std::vector<Rect> split_vertical(Rect area, std::span<const Constraint> constraints);

// Single-line border over `area` with `title` at the left of the top border (cut to fit).
// Returns the inner rectangle (the area shrunk by one cell on every side).
Rect draw_box(Buffer& buf, Rect area, std::string_view title = {}, const Style& border = {});

// One line of pieces, left-aligned, cut at the right edge, no wrapping.
void draw_line(Buffer& buf, Rect area, const Line& line, const Style& base = {});
// Lines top to bottom; lines beyond the area's height are cut off.
void draw_paragraph(Buffer& buf, Rect area, std::span<const Line> lines, const Style& base = {});

struct TableRow {
  std::vector<Span> cells;  // one styled text per column
  Style style;              // covers the whole row width, gaps included
};

// Header row, then rows one line each. Columns keep their fixed widths and sit one
// blank column apart; a table wider than the area is cut by the area's right edge.
void draw_table(Buffer& buf, Rect area, std::span<const uint16_t> widths, const TableRow& header,
                std::span<const TableRow> rows);

}  // namespace tui
