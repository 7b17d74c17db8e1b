#pragma once
// The drawing surface: renders a frame into a cell buffer through a callback, compares
// it with the previous frame and writes only the cells that changed.
#include <functional>
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
  // render, write the changed cells, hide the cursor, flush.
  Status draw(const std::function<void(Buffer&)>& render);
  Status show_cursor();

 private:
  explicit Terminal(Output& out, Size size);
  Output* out_;
  Buffer current_;
  Buffer previous_;
  bool cursor_hidden_ = false;
  bool moved_from_ = false;
  bool full_repaint_ = true;
};

}  // namespace tui
