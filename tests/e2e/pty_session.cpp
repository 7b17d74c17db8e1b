#include "e2e/pty_session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vterm.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace e2e {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

void set_nonblocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xc0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3f)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xe0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(char(0x80 | (cp & 0x3f)));
  } else {
    out.push_back(char(0xf0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3f)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(char(0x80 | (cp & 0x3f)));
  }
}

CellColor to_color(const VTermColor& c, bool foreground) {
  if (foreground ? VTERM_COLOR_IS_DEFAULT_FG(&c) : VTERM_COLOR_IS_DEFAULT_BG(&c)) return CellColor{};
  if (VTERM_COLOR_IS_INDEXED(&c)) return CellColor::indexed(c.indexed.idx);
  return CellColor::rgb(c.rgb.red, c.rgb.green, c.rgb.blue);
}

int settermprop(VTermProp prop, VTermValue* val, void* user) {
  auto* props = static_cast<PtySession::TermProps*>(user);
  if (prop == VTERM_PROP_CURSORVISIBLE) props->cursor_visible = val->boolean;
  if (prop == VTERM_PROP_ALTSCREEN) props->alt_screen = val->boolean;
  return 1;
}

const VTermScreenCallbacks kScreenCallbacks = {
    nullptr, nullptr, nullptr, settermprop, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PtySession::PtySession(const SpawnOptions& options)
    : controlling_(options.controlling_terminal), cols_(options.cols), rows_(options.rows) {
  winsize ws{};
  ws.ws_col = cols_;
  ws.ws_row = rows_;
  if (::openpty(&master_, &slave_, nullptr, nullptr, &ws) != 0) fail("openpty");
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  set_nonblocking(master_);
  if (::tcgetattr(slave_, &initial_modes_) != 0) fail("tcgetattr");

  int err_pipe[2];
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) fail("pipe2");
  err_ = err_pipe[0];
  set_nonblocking(err_);

  // Everything the child needs is built before fork: after it only exec-safe calls.
  std::vector<std::string> argv_text{options.program};
  argv_text.insert(argv_text.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_text;
  auto overridden = [&](std::string_view entry) {
    const auto name = entry.substr(0, entry.find('=') + 1);
    if (name == "TERM=") return true;
    for (const auto& e : options.env)
      if (std::string_view(e).substr(0, e.find('=') + 1) == name) return true;
    return false;
  };
  for (char** e = environ; *e; ++e)
    if (!overridden(*e)) env_text.emplace_back(*e);
  env_text.emplace_back("TERM=xterm-256color");
  env_text.insert(env_text.end(), options.env.begin(), options.env.end());
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  const bool controlling = options.controlling_terminal;
  const int slave = slave_, err_write = err_pipe[1];
  pid_ = ::fork();
  if (pid_ < 0) fail("fork");
  if (pid_ == 0) {
    // A session of its own; the pty becomes its controlling terminal only when asked.
    ::setsid();
    if (controlling) ::ioctl(slave, TIOCSCTTY, 0);
    ::dup2(slave, STDIN_FILENO);
    ::dup2(slave, STDOUT_FILENO);
    ::dup2(err_write, STDERR_FILENO);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(err_write);

  vt_ = vterm_new(rows_, cols_);
  vterm_set_utf8(vt_, 1);
  screen_ = vterm_obtain_screen(vt_);
  vterm_screen_enable_altscreen(screen_, 1);
  vterm_screen_set_callbacks(screen_, &kScreenCallbacks, &props_);
  vterm_screen_reset(screen_, 1);
}

PtySession::~PtySession() {
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    int st;
    ::waitpid(pid_, &st, 0);
  }
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
  if (err_ >= 0) ::close(err_);
  if (vt_) vterm_free(vt_);
}

void PtySession::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(size_t(n));
    } else if (n < 0 && errno == EAGAIN) {
      pump();  // the program reads only as fast as it runs
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 50);
    } else if (n < 0 && errno != EINTR) {
      fail("write to pty");
    }
  }
}

void PtySession::feed_screen(const char* data, size_t n) {
  output_.append(data, n);
  vterm_input_write(vt_, data, n);
  char discard[256];  // the emulator's replies to queries; nobody asks here
  while (vterm_output_read(vt_, discard, sizeof discard) > 0) {
  }
}

void PtySession::pump() {
  char buf[8192];
  if (master_ >= 0) {
    for (;;) {
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) {
        feed_screen(buf, size_t(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      break;  // EAGAIN, or EIO once nothing holds the other side
    }
  }
  if (err_ >= 0) {
    for (;;) {
      const ssize_t n = ::read(err_, buf, sizeof buf);
      if (n > 0) {
        error_.append(buf, size_t(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      break;
    }
  }
}

void PtySession::wait_io(std::chrono::milliseconds max_wait) {
  pollfd fds[2] = {{master_, POLLIN, 0}, {err_, POLLIN, 0}};
  ::poll(fds, 2, int(max_wait.count()));
}

bool PtySession::wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    pump();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    wait_io(20ms);
  }
}

bool PtySession::wait_for_output(std::string_view bytes, std::chrono::milliseconds timeout) {
  return wait_until([&] { return output_.find(bytes) != std::string::npos; }, timeout);
}

bool PtySession::wait_for_text(std::string_view text, std::chrono::milliseconds timeout) {
  return wait_until([&] { return screen_text().find(text) != std::string::npos; }, timeout);
}

CellInfo PtySession::cell(int row, int col) const {
  VTermScreenCell c{};
  CellInfo out;
  if (!vterm_screen_get_cell(screen_, VTermPos{row, col}, &c)) return out;
  for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i] != 0 && c.chars[i] != uint32_t(-1); ++i)
    append_utf8(out.text, c.chars[i]);
  out.width = c.width;
  out.fg = to_color(c.fg, true);
  out.bg = to_color(c.bg, false);
  out.bold = c.attrs.bold;
  out.underline = c.attrs.underline != VTERM_UNDERLINE_OFF;
  return out;
}

std::string PtySession::row_text(int row) const {
  std::string out;
  for (int col = 0; col < cols_;) {
    CellInfo c = cell(row, col);
    out += c.text.empty() ? " " : c.text;
    col += c.width > 1 ? c.width : 1;
  }
  return out;
}

std::string PtySession::screen_text() const {
  std::string out;
  for (int row = 0; row < rows_; ++row) {
    if (row) out.push_back('\n');
    out += row_text(row);
  }
  return out;
}

void PtySession::resize(uint16_t cols, uint16_t rows) {
  cols_ = cols;
  rows_ = rows;
  winsize ws{};
  ws.ws_col = cols;
  ws.ws_row = rows;
  if (::ioctl(master_, TIOCSWINSZ, &ws) != 0) fail("TIOCSWINSZ");
  vterm_set_size(vt_, rows, cols);
  // The kernel signals the foreground process group of a controlling terminal only.
  if (!controlling_ && pid_ > 0 && !status_) ::kill(pid_, SIGWINCH);
}

termios PtySession::terminal_modes() const {
  termios t{};
  if (::tcgetattr(slave_, &t) != 0) fail("tcgetattr");
  return t;
}

void PtySession::close_terminal() {
  pump();
  ::close(master_);
  master_ = -1;
  ::close(slave_);
  slave_ = -1;
}

bool PtySession::running() {
  if (status_) return false;
  int st;
  const pid_t r = ::waitpid(pid_, &st, WNOHANG);
  if (r == pid_) {
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
  }
  return true;
}

std::optional<int> PtySession::wait_exit(std::chrono::milliseconds timeout) {
  wait_until([&] { return !running(); }, timeout);
  pump();
  return status_;
}

bool same_modes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
         cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

}  // namespace e2e
