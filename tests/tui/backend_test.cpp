// The backend over a real pseudo-terminal: raw mode and its restore, output, size, and
// events from bytes, the Esc delay, SIGWINCH and a terminal that goes away.
#include "tui/backend.hpp"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "tui/input_parser.hpp"

namespace {

using namespace std::chrono_literals;
using tui::Event;
using tui::KeyCode;
using tui::KeyEvent;

struct Pty {
  int master = -1, slave = -1;
  Pty(uint16_t cols = 80, uint16_t rows = 24) {
    winsize ws{};
    ws.ws_col = cols;
    ws.ws_row = rows;
    if (::openpty(&master, &slave, nullptr, nullptr, &ws) != 0) ADD_FAILURE() << std::strerror(errno);
  }
  ~Pty() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
  }
  void type(std::string_view bytes) const { ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  std::string read_all() const {
    std::string out;
    char buf[4096];
    pollfd p{master, POLLIN, 0};
    while (::poll(&p, 1, 200) > 0) {
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, size_t(n));
    }
    return out;
  }
};

std::unique_ptr<tui::TtyBackend> backend_on(const Pty& pty) {
  auto b = tui::TtyBackend::open(pty.slave, pty.slave);
  EXPECT_TRUE(b.ok());
  return std::move(*b);
}

Event next(tui::TtyBackend& b) {
  auto ready = b.poll_event(5s);
  EXPECT_TRUE(ready.ok() && *ready);
  auto e = b.read_event();
  EXPECT_TRUE(e.ok());
  return e.ok() ? *e : Event{};
}

TEST(TtyBackend, RawModeOnAndBackExactly) {
  Pty pty;
  termios before{};
  ASSERT_EQ(::tcgetattr(pty.slave, &before), 0);
  auto b = backend_on(pty);
  ASSERT_TRUE(b->enter_raw_mode().ok());
  termios raw{};
  ASSERT_EQ(::tcgetattr(pty.slave, &raw), 0);
  EXPECT_EQ(raw.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_EQ(raw.c_iflag & (ICRNL | IXON), 0u);
  EXPECT_EQ(raw.c_cc[VMIN], 1);
  ASSERT_TRUE(b->leave_raw_mode().ok());
  termios after{};
  ASSERT_EQ(::tcgetattr(pty.slave, &after), 0);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof after.c_cc), 0);
}

TEST(TtyBackend, OutputIsBufferedUntilFlushAndSizeIsThePtys) {
  Pty pty(132, 43);
  auto b = backend_on(pty);
  ASSERT_TRUE(b->enter_raw_mode().ok());  // no newline translation in the way
  ASSERT_TRUE(b->write("one ").ok());
  EXPECT_EQ(pty.read_all(), "") << "nothing before the flush";
  // The pty holds only a few KiB, so read while writing.
  std::string got;
  std::thread reader([&] { got = pty.read_all(); });
  const bool written = b->write(std::string(300 * 1024, 'x')).ok() && b->write(" two").ok() && b->flush().ok();
  reader.join();
  ASSERT_TRUE(written);
  EXPECT_EQ(got, "one " + std::string(300 * 1024, 'x') + " two");

  auto size = b->size();
  ASSERT_TRUE(size.ok());
  EXPECT_EQ(*size, (tui::Size{132, 43}));
}

TEST(TtyBackend, KeysAndJoinedSequences) {
  Pty pty;
  auto b = backend_on(pty);
  ASSERT_TRUE(b->enter_raw_mode().ok());
  pty.type("q\x03\x1b[1;5A");
  EXPECT_EQ(next(*b), Event(KeyEvent::character(U'q')));
  EXPECT_EQ(next(*b), Event(KeyEvent::character(U'c', tui::kControl)));
  EXPECT_EQ(next(*b), Event(KeyEvent::key(KeyCode::Up, tui::kControl)));

  // A sequence split across reads is joined while the Esc delay runs.
  pty.type("\x1b");
  auto ready = b->poll_event(0ms);
  ASSERT_TRUE(ready.ok());
  EXPECT_FALSE(*ready);
  pty.type("[B");
  EXPECT_EQ(next(*b), Event(KeyEvent::key(KeyCode::Down)));

  // Nothing typed: the wait times out.
  const auto start = std::chrono::steady_clock::now();
  ready = b->poll_event(100ms);
  ASSERT_TRUE(ready.ok());
  EXPECT_FALSE(*ready);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
}

TEST(TtyBackend, LoneEscAfterTheDelay) {
  Pty pty;
  auto b = backend_on(pty);
  ASSERT_TRUE(b->enter_raw_mode().ok());
  const auto start = std::chrono::steady_clock::now();
  pty.type("\x1b");
  EXPECT_EQ(next(*b), Event(KeyEvent::key(KeyCode::Esc)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, tui::InputParser::kEscDelay);
}

TEST(TtyBackend, WindowChangeSignalIsAResizeEvent) {
  Pty pty;
  auto b = backend_on(pty);
  ASSERT_EQ(::raise(SIGWINCH), 0);
  EXPECT_EQ(next(*b), Event(tui::ResizeEvent{}));
}

TEST(TtyBackend, TerminalGoneIsAnInputOutputError) {
  Pty pty;
  auto b = backend_on(pty);
  ASSERT_TRUE(b->enter_raw_mode().ok());
  ::close(pty.master);
  pty.master = -1;
  auto ready = b->poll_event(5s);
  ASSERT_FALSE(ready.ok());
  EXPECT_EQ(ready.error().message, "Input/output error (os error 5)");
  ASSERT_TRUE(b->write("x").ok());
  auto flushed = b->flush();
  ASSERT_FALSE(flushed.ok());
  EXPECT_EQ(flushed.error().message, "Input/output error (os error 5)");
}

}  // namespace
