#include "tui/widgets.hpp"

#include <algorithm>

namespace tui {

std::vector<Rect> split_vertical(Rect area, std::span<const Constraint> constraints) {
  std::vector<uint16_t> heights(constraints.size(), 0);
  uint16_t left = area.height;
  auto give = [&](size_t i, uint16_t want) {
    const uint16_t n = std::min(want, left);
    heights[i] += n;
    left = uint16_t(left - n);
  };
  for (size_t i = 0; i < constraints.size(); ++i)
    if (constraints[i].kind == Constraint::Kind::Min) give(i, constraints[i].value);
  for (size_t i = 0; i < constraints.size(); ++i)
    if (constraints[i].kind == Constraint::Kind::Length) give(i, constraints[i].value);
  for (size_t i = 0; i < constraints.size(); ++i)
    if (constraints[i].kind == Constraint::Kind::Min) {
      give(i, left);
      break;
    }

  std::vector<Rect> parts;
  parts.reserve(constraints.size());
  uint16_t y = area.y;
  for (uint16_t h : heights) {
    parts.push_back(Rect{area.x, y, area.width, h});
    y = uint16_t(y + h);
  }
  return parts;
}

Rect draw_box(Buffer& buf, Rect area, std::string_view title, const Style& border) {
  area = area.intersection(buf.area());
  if (area.empty()) return area.inner();
  const uint16_t x0 = area.x, y0 = area.y;
  const uint16_t x1 = uint16_t(area.right() - 1), y1 = uint16_t(area.bottom() - 1);

  // Top border: corner, title, line, corner.
  buf.set_string(x0, y0, "┌", border);
  uint16_t x = uint16_t(x0 + 1);
  if (area.width > 2 && !title.empty()) x = buf.set_string(x, y0, title, Style{}, uint16_t(area.width - 2));
  for (; x < x1; ++x) buf.set_string(x, y0, "─", border);
  if (area.width >= 2) buf.set_string(x1, y0, "┐", border);

  if (area.height >= 2) {
    for (uint16_t y = uint16_t(y0 + 1); y < y1; ++y) {
      buf.set_string(x0, y, "│", border);
      if (area.width >= 2) buf.set_string(x1, y, "│", border);
    }
    buf.set_string(x0, y1, "└", border);
    for (x = uint16_t(x0 + 1); x < x1; ++x) buf.set_string(x, y1, "─", border);
    if (area.width >= 2) buf.set_string(x1, y1, "┘", border);
  }
  return area.inner();
}

void draw_line(Buffer& buf, Rect area, const Line& line, const Style& base) {
  area = area.intersection(buf.area());
  if (area.empty()) return;
  const Rect row{area.x, area.y, area.width, 1};
  if (base != Style{}) buf.set_style(row, base);
  uint16_t x = area.x;
  for (const Span& span : line) {
    if (x >= area.right()) break;
    const Buffer::TextRun run = buf.put_text(x, area.y, span.text, span.style, uint16_t(area.right() - x));
    x = run.end;
    // Whatever follows a piece that was cut would be drawn out of place.
    if (!run.complete) break;
  }
}

void draw_paragraph(Buffer& buf, Rect area, std::span<const Line> lines, const Style& base) {
  area = area.intersection(buf.area());
  if (area.empty()) return;
  if (base != Style{}) buf.set_style(area, base);
  const size_t n = std::min<size_t>(lines.size(), area.height);
  for (size_t i = 0; i < n; ++i) draw_line(buf, Rect{area.x, uint16_t(area.y + i), area.width, 1}, lines[i]);
}

namespace {

void draw_table_row(Buffer& buf, Rect area, uint16_t y, std::span<const uint16_t> widths, const TableRow& row) {
  buf.set_style(Rect{area.x, y, area.width, 1}, row.style);
  uint32_t x = area.x;
  const size_t n = std::min(widths.size(), row.cells.size());
  for (size_t i = 0; i < n && x < area.right(); ++i) {
    const uint32_t w = std::min<uint32_t>(widths[i], area.right() - x);
    buf.set_string(uint16_t(x), y, row.cells[i].text, row.cells[i].style, uint16_t(w));
    x += uint32_t(widths[i]) + 1;
  }
}

}  // namespace

void draw_table(Buffer& buf, Rect area, std::span<const uint16_t> widths, const TableRow& header,
                std::span<const TableRow> rows) {
  area = area.intersection(buf.area());
  if (area.empty()) return;
  draw_table_row(buf, area, area.y, widths, header);
  const size_t n = std::min<size_t>(rows.size(), area.height - 1u);
  for (size_t i = 0; i < n; ++i) draw_table_row(buf, area, uint16_t(area.y + 1 + i), widths, rows[i]);
}

}  // namespace tui
