#pragma once
// Runs a program in a pseudo-terminal of its own and watches it as a terminal would: the
// raw output bytes are kept, and fed through a terminal emulator (libvterm) whose screen
// can be read row by row and cell by cell. Standard error goes to a separate pipe.
#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct VTerm;
struct VTermScreen;

namespace e2e {

using namespace std::chrono_literals;

struct SpawnOptions {
  std::string program = TICKERDECK_BINARY;
  std::vector<std::string> args;  // after the program name
  std::vector<std::string> env;   // NAME=VALUE entries set over the inherited environment
  uint16_t cols = 80;
  uint16_t rows = 24;
  // false: the pty is the program's standard input and output but not its controlling
  // terminal, so closing it sends no SIGHUP and the program sees only failing I/O.
  bool controlling_terminal = true;
};

struct CellColor {
  enum Kind { Default, Indexed, Rgb };
  Kind kind = Default;
  uint8_t index = 0;  // Indexed
  uint8_t r = 0, g = 0, b = 0;  // Rgb

  static CellColor indexed(uint8_t i) { return CellColor{Indexed, i, 0, 0, 0}; }
  static CellColor rgb(uint8_t r, uint8_t g, uint8_t b) { return CellColor{Rgb, 0, r, g, b}; }
  friend bool operator==(const CellColor&, const CellColor&) = default;
};

struct CellInfo {
  std::string text;  // UTF-8; "" for an empty cell or the second half of a wide one
  int width = 1;
  CellColor fg, bg;
  bool bold = false;
  bool underline = false;
};

class PtySession {
 public:
  // What the emulator was told through private modes.
  struct TermProps {
    bool cursor_visible = true;
    bool alt_screen = false;
  };

  // Starts the program; throws std::runtime_error when the pty or the process cannot be made.
  explicit PtySession(const SpawnOptions& options = {});
  ~PtySession();  // kills the program if it still runs
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  // Input as typed at the terminal.
  void send(std::string_view bytes);

  // Reads whatever the program wrote so far (terminal and standard error).
  void pump();
  // Pumps until `done` holds or `timeout` passed; returns the last value of `done`.
  bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s);
  bool wait_for_output(std::string_view bytes, std::chrono::milliseconds timeout = 10s);
  bool wait_for_text(std::string_view text, std::chrono::milliseconds timeout = 10s);

  // Everything written to the terminal, byte for byte.
  const std::string& output() const { return output_; }
  const std::string& error_output() const { return error_; }

  // The emulated screen.
  uint16_t rows() const { return rows_; }
  uint16_t cols() const { return cols_; }
  std::string row_text(int row) const;  // the row's characters, trailing blanks kept
  std::string screen_text() const;      // all rows joined by '\n'
  CellInfo cell(int row, int col) const;
  bool cursor_visible() const { return props_.cursor_visible; }
  bool alternate_screen() const { return props_.alt_screen; }

  // New size on the pty; the program gets SIGWINCH.
  void resize(uint16_t cols, uint16_t rows);

  // The termios modes now in force on the pty, and those it had before the program ran.
  termios terminal_modes() const;
  const termios& initial_modes() const { return initial_modes_; }

  // Closes the terminal side the test holds: to the program, the terminal is gone.
  void close_terminal();

  // The exit status (128 + n for a death by signal n), or nothing when the program
  // still runs after `timeout`. Output written until the end is pumped in.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout = 10s);
  bool running();
  pid_t pid() const { return pid_; }

 private:
  void feed_screen(const char* data, size_t n);
  void wait_io(std::chrono::milliseconds max_wait);

  pid_t pid_ = -1;
  std::optional<int> status_;
  int master_ = -1;
  int slave_ = -1;  // kept open here for querying the modes
  int err_ = -1;
  termios initial_modes_{};
  bool controlling_;
  uint16_t cols_, rows_;
  std::string output_;
  std::string error_;
  VTerm* vt_ = nullptr;
  VTermScreen* screen_ = nullptr;
  TermProps props_;
};

// Termios fields compared in full (flags, control characters, speeds).
bool same_modes(const termios& a, const termios& b);

}  // namespace e2e
