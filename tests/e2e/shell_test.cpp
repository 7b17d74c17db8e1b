// The program as a user meets it in a terminal: start-up, quitting, terminal restore, and
// the terminal going away underneath it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "e2e/pty_session.hpp"

namespace {

using namespace std::chrono_literals;
using e2e::PtySession;
using e2e::SpawnOptions;

const std::string kEnterScreen = "\x1b[?1049h";
const std::string kMouseOn = "\x1b[?1000h\x1b[?1002h\x1b[?1003h\x1b[?1015h\x1b[?1006h";
const std::string kExitSequence =
    "\x1b[?1049l"
    "\x1b[?1006l\x1b[?1015l\x1b[?1003l\x1b[?1002l\x1b[?1000l"
    "\x1b[?25h";
const std::string kHideCursor = "\x1b[?25l";

SpawnOptions with_args(std::vector<std::string> args) {
  SpawnOptions o;
  o.args = std::move(args);
  return o;
}

// Started: the alternate screen is on and the first frame is out.
void wait_started(PtySession& s) {
  ASSERT_TRUE(s.wait_for_output(kHideCursor)) << "no frame drawn; output: " << s.output();
}

TEST(Shell, CommandsThatDoNotRunLeaveTheTerminalUntouched) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;  // expected in the terminal output
    bool error_output;
  };
  const Case cases[] = {
      {{"--version"}, 0, "tickerdeck 0.1.0", false},
      {{"-V"}, 0, "tickerdeck 0.1.0", false},
      {{"--help"}, 0, "--max-rows", false},
      {{"--max-rows", "-1"}, 2, "", true},
      {{"--max-rows=18446744073709551616"}, 2, "", true},
      {{"--url", "a", "--url", "b"}, 2, "", true},
      {{"--no-such-option"}, 2, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    PtySession s(with_args(c.args));
    EXPECT_EQ(s.wait_exit(), c.status);
    EXPECT_EQ(s.output().find(kEnterScreen), std::string::npos);
    EXPECT_EQ(s.output().find("\x1b["), std::string::npos) << "no terminal command at all";
    EXPECT_NE(s.output().find(c.out), std::string::npos) << s.output();
    EXPECT_EQ(!s.error_output().empty(), c.error_output) << s.error_output();
    EXPECT_TRUE(e2e::same_modes(s.terminal_modes(), s.initial_modes()));
  }
}

TEST(Shell, QuitKeysRestoreTheTerminal) {
  for (const std::string key : {"q", "\x03"}) {
    SCOPED_TRACE(key == "q" ? "q" : "Ctrl-C");
    PtySession s;
    wait_started(s);
    EXPECT_EQ(s.output().rfind(kEnterScreen + kMouseOn, 0), 0u) << "start-up output begins with the screen commands";
    EXPECT_TRUE(s.alternate_screen());

    // Raw while it runs: no echo, no line editing, no signal keys.
    const termios raw = s.terminal_modes();
    EXPECT_EQ(raw.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(raw.c_iflag & (ICRNL | IXON), 0u);

    s.send(key);
    EXPECT_EQ(s.wait_exit(), 0) << "Ctrl-C is a key, not a signal";
    ASSERT_GE(s.output().size(), kExitSequence.size());
    EXPECT_EQ(s.output().substr(s.output().size() - kExitSequence.size()), kExitSequence)
        << "the exit sequence ends the output";
    EXPECT_TRUE(e2e::same_modes(s.terminal_modes(), s.initial_modes()));
    EXPECT_FALSE(s.alternate_screen());
    EXPECT_TRUE(s.cursor_visible());
    EXPECT_EQ(s.error_output(), "");
  }
}

// Mouse reports, focus changes, pastes and resizes are dropped, even when their bytes
// hold a q; other keys do not quit either.
TEST(Shell, OnlyTheQuitKeyQuits) {
  PtySession s;
  wait_started(s);
  s.send("\x1b[M qq");                         // X10 mouse report
  s.send("\x1b[<0;113;113M\x1b[<0;113;113m");  // SGR mouse
  s.send("\x1b[113;113;113M");                 // urxvt mouse
  s.send("\x1b[I\x1b[O");                      // focus
  s.send("\x1b[200~q\x03q\x1b[201~");          // bracketed paste
  s.send("\x1b");                              // Esc, alone
  s.resize(100, 30);
  s.send("x\x1b[A\x1b[6~");
  EXPECT_EQ(s.wait_exit(1500ms), std::nullopt) << s.error_output();

  s.send("q");
  EXPECT_EQ(s.wait_exit(), 0);
}

TEST(Shell, ResizeRepaintsWithoutAKey) {
  PtySession s;
  wait_started(s);
  const size_t before = s.output().size();
  s.resize(100, 30);
  EXPECT_TRUE(s.wait_until([&] { return s.output().find("\x1b[2J", before) != std::string::npos; }))
      << "a new size clears the screen and repaints";
  s.send("q");
  EXPECT_EQ(s.wait_exit(), 0);
}

// The pty is the program's terminal but not its controlling one, so closing it sends no
// SIGHUP: the program sees only failing terminal I/O and must end with an error.
TEST(Shell, TerminalGoingAwayEndsWithAnError) {
  SpawnOptions o;
  o.controlling_terminal = false;
  PtySession s(o);
  wait_started(s);
  s.close_terminal();
  EXPECT_EQ(s.wait_exit(), 1);
  EXPECT_NE(s.error_output().find("Error: Input/output error (os error 5)\n"), std::string::npos)
      << s.error_output();
}

// A runtime that cannot start its worker threads: a user allowed no more processes.
TEST(Shell, RuntimeThatCannotStartGivesStatus101) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to a user with a process limit";
  if (::access("/usr/bin/prlimit", X_OK) != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs prlimit and setpriv";
  SpawnOptions o;
  o.program = "/usr/bin/prlimit";
  o.args = {"--nproc=1", "/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
            TICKERDECK_BINARY};
  o.env = {"ASAN_OPTIONS=detect_leaks=0"};  // the leak checker needs a thread of its own at exit
  PtySession s(o);
  const auto status = s.wait_exit();
  if (status == 127 || s.error_output().find("Permission denied") != std::string::npos)
    GTEST_SKIP() << "the binary is not reachable for an unprivileged user: " << s.error_output();
  EXPECT_EQ(status, 101);
  EXPECT_NE(s.error_output().find("Failed building the Runtime: "), std::string::npos) << s.error_output();
  EXPECT_EQ(s.output().find(kEnterScreen), std::string::npos);
}

}  // namespace
