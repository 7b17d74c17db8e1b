#pragma once
// The drawing surface: renders a frame into a cell buffer through a callback, compares
// it with the previous frame and writes only the cells that changed.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tui/buffer.hpp"
#include "tui/rect.hpp"
#include "tui/result.hpp"

namespace tui {

// Where the bytes go, and how big the screen is.
class Output {
 public:
  virtual ~Output() = default;
  virtual Status write(std::string_view bytes) = 0;
  virtual Status flush() = 0;
  virtual Result<Size> size() = 0;
};

class Terminal {
 public:
  // Queries the size once for the first frame.
  static Result<Terminal> create(Output& out);

  Terminal(Terminal&& other) noexcept;
  Terminal& operator=(Terminal&&) = delete;
  // Shows the cursor again when drawing left it hidden; on failure prints
  // "Failed to show the cursor: " and the error to standard error.
  ~Terminal();

  // One frame: size query (a new size clears the screen and repaints everything),
  // render, write the changed cells, hide the cursor, flush. The first frame paints
  // every cell, since what the screen shows before it is not known. All of a frame's
  // bytes go out in one write.
  //
  // Style changes are SGR sequences carrying only what differs from the terminal's
  // current state; an attribute switched off costs a reset ("0") and re-adding the
  // rest. Colours: default 39/49; indexed 0-7 as 30-37 / 40-47, except a bold
  // foreground, which is 38;5;n (terminals that show bold as bright would turn
  // 30-37 into 8-15); indexed 8-15 as 90-97 / 100-107; indexed 16-255 as 38;5;n /
  // 48;5;n; 24-bit as 38;2;r;g;b / 48;2;r;g;b. The style active at the end of a
  // frame is remembered for the next one (a frame that changes one cell stays a few
  // dozen bytes); it is reset before a screen clear, which paints with the current
  // background, and leaving the alternate screen restores the style saved on entry.
  Status draw(const std::function<void(Buffer&)>& render);
  Status show_cursor();

 private:
  struct Pen {
    Color fg, bg;
    bool bold = false, underlined = false;
    friend bool operator==(const Pen&, const Pen&) = default;
  };

  explicit Terminal(Output& out, Size size);
  void write_cells();
  void move_to(uint16_t x, uint16_t y);
  void set_pen(const Pen& pen);

  Output* out_;
  Buffer current_;
  Buffer previous_;
  std::string bytes_;  // the frame being written, reused between frames
  Pen pen_;            // the terminal's current style, when pen_known_
  bool pen_known_ = false;
  int32_t cursor_x_ = -1, cursor_y_ = -1;  // the terminal's cursor; -1: not known
  bool cursor_hidden_ = false;
  bool moved_from_ = false;
  bool full_repaint_ = true;
};

}  // namespace tui
