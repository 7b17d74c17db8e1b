#pragma once
// The real terminal: raw mode, the screen and mouse commands, size, and input events
// read from the controlling terminal.
#include <chrono>
#include <memory>
#include <string_view>

#include "tui/event.hpp"
#include "tui/rect.hpp"
#include "tui/result.hpp"
#include "tui/terminal.hpp"

namespace tui {

// Exact command bytes.
inline constexpr std::string_view kEnterAlternateScreen = "\x1b[?1049h";
inline constexpr std::string_view kLeaveAlternateScreen = "\x1b[?1049l";
inline constexpr std::string_view kEnableMouse = "\x1b[?1000h\x1b[?1002h\x1b[?1003h\x1b[?1015h\x1b[?1006h";
inline constexpr std::string_view kDisableMouse = "\x1b[?1006l\x1b[?1015l\x1b[?1003l\x1b[?1002l\x1b[?1000l";
inline constexpr std::string_view kShowCursor = "\x1b[?25h";
inline constexpr std::string_view kHideCursor = "\x1b[?25l";
inline constexpr std::string_view kClearScreen = "\x1b[2J";

class TtyBackend final : public Output {
 public:
  // Input from standard input (or the controlling terminal when standard input is not
  // one), output to standard output.
  static Result<std::unique_ptr<TtyBackend>> open();
  // Over terminal descriptors the caller keeps open for the backend's lifetime (tests).
  static Result<std::unique_ptr<TtyBackend>> open(int input_fd, int output_fd);
  ~TtyBackend() override;

  Status enter_raw_mode();
  Status leave_raw_mode();  // puts back exactly the modes saved on entry

  Status write(std::string_view bytes) override;
  Status flush() override;
  Result<Size> size() override;

  // true when an event is ready within `timeout`, false when none arrived. A lone Esc
  // is delivered once InputParser::kEscDelay passed with no further input byte. The
  // terminal closing (end of input, hang-up, EIO) is an error.
  Result<bool> poll_event(std::chrono::milliseconds timeout);
  // Takes one event (blocks until one is complete).
  Result<Event> read_event();

 private:
  TtyBackend() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tui
