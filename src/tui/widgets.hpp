#pragma once
// The few widgets the panels need: vertical layout, a bordered box, a paragraph of
// styled lines and a table with fixed column widths. All draw with clipping into the
// given rectangle (itself clipped to the buffer) and keep nothing between frames.
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

// Single-line border over `area` (corners ┌ ┐ └ ┘, sides │, top and bottom ─) in
// `border`, with `title` on the top border from the column after the corner, in the
// cells' own style, cut before the top-right corner. An area narrower or shorter than
// 2 gets what fits of the border (a 1-wide box is ┌ │ … └). Returns the inner
// rectangle (the area shrunk by one cell on every side; empty when too small).
Rect draw_box(Buffer& buf, Rect area, std::string_view title = {}, const Style& border = {});

// One line of pieces on the first row of `area`, left-aligned, cut at the right edge,
// no wrapping. `base` is patched over the whole row first, each piece's style over
// its own text. Nothing is drawn after a piece that was cut (a wide character that
// did not fit would otherwise be followed by text from the next piece).
void draw_line(Buffer& buf, Rect area, const Line& line, const Style& base = {});
// Lines top to bottom, as draw_line; `base` covers the whole area. Lines beyond the
// area's height are cut off.
void draw_paragraph(Buffer& buf, Rect area, std::span<const Line> lines, const Style& base = {});

struct TableRow {
  std::vector<Span> cells;  // one styled text per column
  Style style;              // covers the whole row width, gaps included
};

// Header row, then rows one line each; rows beyond the area's height are not drawn.
// Columns keep their fixed widths and sit one blank column apart, from the area's left
// edge. They never shrink: a table wider than the area is cut by the area's right
// edge, which may cut a column part way (and leave out those after it). Each row's
// style covers the whole width of the area, gaps and leftover width included; a
// cell's text is patched over it, cut to its column's width. A row with fewer cells
// than columns leaves the rest blank; cells beyond the last width are ignored.
void draw_table(Buffer& buf, Rect area, std::span<const uint16_t> widths, const TableRow& header,
                std::span<const TableRow> rows);

}  // namespace tui
