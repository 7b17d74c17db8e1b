#pragma once
// Small helpers for the screen tests: reading back rows and styles from a buffer and
// building rows with the members a test cares about.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "feed/records.hpp"
#include "tui/buffer.hpp"
#include "tui/style.hpp"

namespace screen_test {

// The texts of row `y`, cell by cell.
inline std::string row_text(const tui::Buffer& b, uint16_t y) {
  std::string s;
  for (uint16_t x = 0; x < b.width(); ++x) s += b.at(x, y).symbol;
  return s;
}

// The texts of `width` cells of row `y` from column `x`.
inline std::string cells_text(const tui::Buffer& b, uint16_t y, uint16_t x, uint16_t width) {
  std::string s;
  for (uint16_t i = x; i < x + width && i < b.width(); ++i) s += b.at(i, y).symbol;
  return s;
}

// Column of the first cell of `needle` on row `y`, or -1.
inline int find_col(const tui::Buffer& b, uint16_t y, std::string_view needle) {
  const std::string text = row_text(b, y);
  const size_t pos = text.find(needle);
  if (pos == std::string::npos) return -1;
  size_t bytes = 0;
  for (uint16_t x = 0; x < b.width(); ++x) {
    if (bytes == pos) return x;
    bytes += b.at(x, y).symbol.size();
  }
  return -1;
}

// The style a cell shows, as a comparable value.
struct Look {
  tui::Color fg;
  tui::Color bg;
  bool bold = false;
  bool underlined = false;
  friend bool operator==(const Look&, const Look&) = default;
};
inline Look look(const tui::Buffer& b, uint16_t x, uint16_t y) {
  const tui::Cell& c = b.at(x, y);
  return {c.fg, c.bg, c.bold, c.underlined};
}
inline Look fg_look(tui::Color fg, bool bold = false) { return {fg, tui::Color{}, bold, false}; }

// True when every cell of `needle` (first occurrence on row `y`) shows `want`.
inline ::testing::AssertionResult text_looks(const tui::Buffer& b, uint16_t y, std::string_view needle,
                                             const Look& want) {
  const int x0 = find_col(b, y, needle);
  if (x0 < 0) return ::testing::AssertionFailure() << "\"" << needle << "\" not on row " << y << ": \"" << row_text(b, y) << "\"";
  const uint16_t w = tui::text_width(needle);
  for (uint16_t x = uint16_t(x0); x < x0 + w; ++x) {
    if (look(b, x, y) != want) {
      const Look got = look(b, x, y);
      return ::testing::AssertionFailure()
             << "\"" << needle << "\" on row " << y << " col " << x << ": fg kind " << int(got.fg.kind) << " index "
             << int(got.fg.index) << ", bg kind " << int(got.bg.kind) << ", bold " << got.bold << ", underlined "
             << got.underlined;
    }
  }
  return ::testing::AssertionSuccess();
}

inline feed::SymbolRow sym_row(std::string sym, double last = 10.0) {
  feed::SymbolRow r;
  r.sym = std::move(sym);
  r.last = last;
  return r;
}

}  // namespace screen_test
