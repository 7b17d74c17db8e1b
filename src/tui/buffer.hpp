#pragma once
// The in-memory picture of one frame: a grid of cells, each holding one grapheme
// cluster and its style. Text is sanitised on the way in, so whatever the feed sends,
// nothing but printable text reaches the terminal.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tui/rect.hpp"
#include "tui/style.hpp"

namespace tui {

struct Cell {
  std::string symbol = " ";  // one grapheme cluster; empty for the second half of a wide one
  Color fg;
  Color bg;
  bool bold = false;
  bool underlined = false;

  void apply(const Style& s) {
    if (s.fg) fg = *s.fg;
    if (s.bg) bg = *s.bg;
    bold = bold || s.bold;
    underlined = underlined || s.underlined;
  }
  friend bool operator==(const Cell&, const Cell&) = default;
};

class Buffer {
 public:
  Buffer() = default;
  Buffer(uint16_t width, uint16_t height);

  Rect area() const { return area_; }
  uint16_t width() const { return area_.width; }
  uint16_t height() const { return area_.height; }

  Cell& at(uint16_t x, uint16_t y) { return cells_[size_t(y) * area_.width + x]; }
  const Cell& at(uint16_t x, uint16_t y) const { return cells_[size_t(y) * area_.width + x]; }
  const std::vector<Cell>& cells() const { return cells_; }

  // Every cell back to a blank with default colours.
  void reset();
  void resize(uint16_t width, uint16_t height);

  // Writes `text` from (x, y) rightwards with `style` patched over the cells, one
  // grapheme cluster per cell (two for wide ones), cut at `max_width` columns and at
  // the buffer's edge; a wide cluster that does not fit whole is not drawn, nor is
  // anything after it. A cluster holding a control character (C0, DEL, C1) is not
  // drawn; invalid UTF-8 is drawn as U+FFFD (rules in tui/text.hpp). Overwriting
  // either half of a wide character blanks its other half. Returns the column after
  // the last cell written.
  uint16_t set_string(uint16_t x, uint16_t y, std::string_view text, const Style& style,
                      uint16_t max_width = UINT16_MAX);

  // set_string that also tells whether the whole text fitted, so that a caller
  // drawing several pieces on one line can stop after the first one that was cut.
  struct TextRun {
    uint16_t end;   // the column after the last cell written
    bool complete;  // false when something drawable was left out for lack of room
  };
  TextRun put_text(uint16_t x, uint16_t y, std::string_view text, const Style& style,
                   uint16_t max_width = UINT16_MAX);

  // Patches `style` over every cell of `r` (clipped to the buffer).
  void set_style(Rect r, const Style& style);

  // The cell texts, one line per row joined by '\n' (no trailing newline); the second
  // half of a wide character contributes nothing. For tests.
  std::string to_string() const;

 private:
  Rect area_;
  std::vector<Cell> cells_;
};

// Terminal columns taken by a text after the sanitising rules of set_string.
uint16_t text_width(std::string_view text);

}  // namespace tui
