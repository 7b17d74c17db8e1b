#include "tui/backend.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <string>

#include "tui/input_parser.hpp"

namespace tui {
namespace {

using Clock = std::chrono::steady_clock;

// Bytes buffered before write() pushes them out without waiting for flush().
constexpr std::size_t kOutputLimit = std::size_t(256) << 10;

// Write end of the self-pipe, for the SIGWINCH handler.
volatile sig_atomic_t g_resize_fd = -1;

extern "C" void on_sigwinch(int) {
  const int saved = errno;
  const int fd = g_resize_fd;
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);  // a full pipe already holds a wake-up
  }
  errno = saved;
}

Error io_error() { return Error::from_errno(EIO); }

}  // namespace

struct TtyBackend::Impl {
  int in_fd = -1;
  bool own_in = false;
  int out_fd = STDOUT_FILENO;
  int pipe_read = -1, pipe_write = -1;
  struct sigaction old_winch {};
  bool handler_installed = false;

  termios saved{};
  bool raw = false;

  InputParser parser;
  std::deque<Event> queue;
  Clock::time_point last_input = Clock::now();
  std::string out;

  ~Impl() {
    if (handler_installed) {
      sigaction(SIGWINCH, &old_winch, nullptr);
      g_resize_fd = -1;
    }
    if (pipe_read >= 0) ::close(pipe_read);
    if (pipe_write >= 0) ::close(pipe_write);
    if (own_in && in_fd >= 0) ::close(in_fd);
  }

  void take_parsed() {
    while (auto e = parser.next_event()) queue.push_back(std::move(*e));
  }

  void drain_resize_pipe() {
    char buf[64];
    while (::read(pipe_read, buf, sizeof buf) > 0) {
    }
  }
};

Result<std::unique_ptr<TtyBackend>> TtyBackend::open() {
  if (::isatty(STDIN_FILENO)) return open(STDIN_FILENO, STDOUT_FILENO);
  const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return Error::from_errno(errno);
  auto backend = open(tty, STDOUT_FILENO);
  if (!backend) {
    ::close(tty);
    return backend;
  }
  (*backend)->impl_->own_in = true;
  return backend;
}

Result<std::unique_ptr<TtyBackend>> TtyBackend::open(int input_fd, int output_fd) {
  std::unique_ptr<TtyBackend> backend(new TtyBackend());
  backend->impl_ = std::make_unique<Impl>();
  Impl& im = *backend->impl_;
  im.in_fd = input_fd;
  im.out_fd = output_fd;

  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return Error::from_errno(errno);
  im.pipe_read = fds[0];
  im.pipe_write = fds[1];

  g_resize_fd = im.pipe_write;
  struct sigaction sa {};
  sa.sa_handler = on_sigwinch;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  if (sigaction(SIGWINCH, &sa, &im.old_winch) != 0) {
    g_resize_fd = -1;
    return Error::from_errno(errno);
  }
  im.handler_installed = true;
  return backend;
}

TtyBackend::~TtyBackend() = default;

Status TtyBackend::enter_raw_mode() {
  Impl& im = *impl_;
  if (im.raw) return {};
  termios t{};
  if (::tcgetattr(im.in_fd, &t) != 0) return Error::from_errno(errno);
  im.saved = t;
  t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  t.c_oflag &= ~tcflag_t(OPOST);
  t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~tcflag_t(CSIZE | PARENB);
  t.c_cflag |= CS8;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  int rc;
  do rc = ::tcsetattr(im.in_fd, TCSANOW, &t);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) return Error::from_errno(errno);
  im.raw = true;
  return {};
}

Status TtyBackend::leave_raw_mode() {
  Impl& im = *impl_;
  if (!im.raw) return {};
  int rc;
  do rc = ::tcsetattr(im.in_fd, TCSANOW, &im.saved);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) return Error::from_errno(errno);
  im.raw = false;
  return {};
}

Status TtyBackend::write(std::string_view bytes) {
  impl_->out.append(bytes);
  if (impl_->out.size() >= kOutputLimit) return flush();
  return {};
}

Status TtyBackend::flush() {
  Impl& im = *impl_;
  std::size_t done = 0;
  while (done < im.out.size()) {
    const ssize_t n = ::write(im.out_fd, im.out.data() + done, im.out.size() - done);
    if (n > 0) {
      done += std::size_t(n);
      continue;
    }
    const int err = n == 0 ? EIO : errno;
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EWOULDBLOCK) {
      // Standard output was left non-blocking by someone else: wait until it drains.
      pollfd p{im.out_fd, POLLOUT, 0};
      if (::poll(&p, 1, -1) >= 0 || errno == EINTR) continue;
      const int poll_err = errno;
      im.out.clear();
      return Error::from_errno(poll_err);
    }
    im.out.clear();  // what was not written is lost with the terminal
    return Error::from_errno(err);
  }
  im.out.clear();
  return {};
}

Result<Size> TtyBackend::size() {
  winsize ws{};
  if (::ioctl(impl_->out_fd, TIOCGWINSZ, &ws) == 0) return Size{ws.ws_col, ws.ws_row};
  const int err = errno;
  if (::ioctl(impl_->in_fd, TIOCGWINSZ, &ws) == 0) return Size{ws.ws_col, ws.ws_row};
  return Error::from_errno(err);
}

Result<bool> TtyBackend::poll_event(std::chrono::milliseconds timeout) {
  Impl& im = *impl_;
  const auto deadline = Clock::now() + timeout;
  bool polled = false;
  for (;;) {
    im.take_parsed();
    if (!im.queue.empty()) return true;
    const auto now = Clock::now();
    auto wake = deadline;
    if (im.parser.has_pending()) {
      // Held input (a lone ESC, say) becomes final once its delay passed without input.
      const auto due = im.last_input + im.parser.pending_delay();
      if (due <= now) {
        im.parser.flush_pending();
        continue;
      }
      wake = std::min(wake, due);
    }
    if (polled && now >= deadline) return false;
    polled = true;

    const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    pollfd fds[2] = {{im.in_fd, POLLIN, 0}, {im.pipe_read, POLLIN, 0}};
    const int rc = ::poll(fds, 2, int(std::max<long long>(0, left)));
    if (rc < 0) {
      if (errno == EINTR) continue;
      return Error::from_errno(errno);
    }
    if (fds[1].revents & POLLIN) {
      im.drain_resize_pipe();
      im.queue.push_back(ResizeEvent{});
    }
    if (fds[0].revents & POLLIN) {
      char buf[4096];
      const ssize_t n = ::read(im.in_fd, buf, sizeof buf);
      if (n > 0) {
        im.parser.feed(std::string_view(buf, std::size_t(n)));
        im.last_input = Clock::now();
      } else if (n == 0) {
        return io_error();  // the terminal is gone
      } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
        return Error::from_errno(errno);
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      return io_error();
    }
  }
}

Result<Event> TtyBackend::read_event() {
  Impl& im = *impl_;
  while (im.queue.empty()) {
    auto ready = poll_event(std::chrono::hours(1));
    if (!ready) return ready.take_error();
  }
  Event e = std::move(im.queue.front());
  im.queue.pop_front();
  return e;
}

}  // namespace tui
