#include "tui/buffer.hpp"

#include <algorithm>

#include "tui/text.hpp"

namespace tui {
namespace {

// Most cells hold one byte; rewriting it in place skips std::string's general path.
inline void put_symbol(std::string& s, std::string_view text) {
  if (text.size() == 1 && s.size() == 1) {
    s[0] = text[0];
  } else {
    s.assign(text.data(), text.size());
  }
}

}  // namespace

Buffer::Buffer(uint16_t width, uint16_t height) { resize(width, height); }

void Buffer::reset() {
  for (Cell& c : cells_) {
    put_symbol(c.symbol, " ");
    c.fg = Color{};
    c.bg = Color{};
    c.bold = false;
    c.underlined = false;
  }
}

void Buffer::resize(uint16_t width, uint16_t height) {
  area_ = Rect{0, 0, width, height};
  cells_.assign(size_t(width) * height, Cell{});
}

Buffer::TextRun Buffer::put_text(uint16_t x, uint16_t y, std::string_view text, const Style& style,
                                 uint16_t max_width) {
  GraphemeReader reader(text);
  Grapheme g;
  if (y >= area_.height || x >= area_.width) return {x, !reader.next(g)};

  const uint32_t limit = std::min<uint32_t>(uint32_t(x) + max_width, area_.width);
  Cell* row = &cells_[size_t(y) * area_.width];
  uint32_t col = x;
  while (reader.next(g)) {
    if (col + g.width > limit) return {uint16_t(col), false};
    // Writing over the second half of a wide character: its first half goes too.
    if (row[col].symbol.empty() && col > 0) row[col - 1].symbol.assign(1, ' ');
    put_symbol(row[col].symbol, g.text);
    row[col].apply(style);
    if (g.width == 2) {
      row[col + 1].symbol.clear();
      row[col + 1].apply(style);
    }
    col += g.width;
    // Writing over the first half of a wide character: its second half goes too.
    if (col < area_.width && row[col].symbol.empty()) row[col].symbol.assign(1, ' ');
  }
  return {uint16_t(col), true};
}

uint16_t Buffer::set_string(uint16_t x, uint16_t y, std::string_view text, const Style& style,
                            uint16_t max_width) {
  return put_text(x, y, text, style, max_width).end;
}

void Buffer::set_style(Rect r, const Style& style) {
  const Rect c = r.intersection(area_);
  for (uint16_t y = c.y; y < c.bottom(); ++y) {
    Cell* row = &cells_[size_t(y) * area_.width];
    for (uint16_t x = c.x; x < c.right(); ++x) row[x].apply(style);
  }
}

std::string Buffer::to_string() const {
  std::string out;
  out.reserve(cells_.size() + area_.height);
  for (uint16_t y = 0; y < area_.height; ++y) {
    if (y > 0) out += '\n';
    const Cell* row = &cells_[size_t(y) * area_.width];
    for (uint16_t x = 0; x < area_.width; ++x) out += row[x].symbol;
  }
  return out;
}

uint16_t text_width(std::string_view text) {
  GraphemeReader reader(text);
  Grapheme g;
  uint32_t w = 0;
  while (reader.next(g)) w += g.width;
  return uint16_t(std::min<uint32_t>(w, UINT16_MAX));
}

}  // namespace tui
