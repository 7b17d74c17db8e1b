#pragma once
#include <algorithm>
#include <cstdint>

namespace tui {

// A rectangle of terminal cells; x and y are the column and row of its top-left cell.
struct Rect {
  uint16_t x = 0, y = 0, width = 0, height = 0;

  constexpr uint32_t area() const { return uint32_t(width) * height; }
  constexpr bool empty() const { return width == 0 || height == 0; }
  constexpr uint32_t right() const { return uint32_t(x) + width; }   // one past the last column
  constexpr uint32_t bottom() const { return uint32_t(y) + height; }  // one past the last row
  // Shrunk by `m` cells on every side (empty when too small).
  constexpr Rect inner(uint16_t m = 1) const {
    if (width < 2 * m || height < 2 * m) return Rect{uint16_t(x + std::min<uint16_t>(m, width)), uint16_t(y + std::min<uint16_t>(m, height)), 0, 0};
    return Rect{uint16_t(x + m), uint16_t(y + m), uint16_t(width - 2 * m), uint16_t(height - 2 * m)};
  }
  constexpr Rect intersection(const Rect& o) const {
    uint32_t x1 = std::max<uint32_t>(x, o.x), y1 = std::max<uint32_t>(y, o.y);
    uint32_t x2 = std::min(right(), o.right()), y2 = std::min(bottom(), o.bottom());
    if (x2 <= x1 || y2 <= y1) return Rect{uint16_t(x1), uint16_t(y1), 0, 0};
    return Rect{uint16_t(x1), uint16_t(y1), uint16_t(x2 - x1), uint16_t(y2 - y1)};
  }
  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  uint16_t cols = 0, rows = 0;
  friend constexpr bool operator==(const Size&, const Size&) = default;
};

}  // namespace tui
