#include "child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace nettest {

struct ChildProcess::State {
  pid_t pid = -1;
  int out_fd = -1, err_fd = -1;
  std::thread reader;
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::string out, err;
  bool done_reading = false;
  std::optional<int> status;
};

ChildProcess::ChildProcess(const std::string& path, const std::vector<std::string>& args)
    : state_(std::make_shared<State>()) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::vector<std::string> argv_s = {path};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  state_->pid = pid;
  state_->out_fd = out[0];
  state_->err_fd = err[0];
  // Drains both pipes so that the child never blocks on a full one.
  state_->reader = std::thread([s = state_.get()] {
    pollfd fds[2] = {{s->out_fd, POLLIN, 0}, {s->err_fd, POLLIN, 0}};
    int open = 2;
    char buf[4096];
    while (open > 0) {
      if (::poll(fds, 2, -1) < 0) break;
      for (auto& p : fds) {
        if (p.fd < 0 || p.revents == 0) continue;
        const ssize_t n = ::read(p.fd, buf, sizeof buf);
        if (n <= 0) {
          p.fd = -1;
          --open;
          continue;
        }
        {
          std::lock_guard lock(s->mutex);
          (p.fd == s->out_fd ? s->out : s->err).append(buf, size_t(n));
        }
        s->changed.notify_all();
      }
    }
    {
      std::lock_guard lock(s->mutex);
      s->done_reading = true;
    }
    s->changed.notify_all();
  });
}

ChildProcess::~ChildProcess() {
  if (!state_->status) {
    ::kill(state_->pid, SIGKILL);
    wait_exit(std::chrono::seconds(10));
  }
  if (state_->reader.joinable()) state_->reader.join();
  ::close(state_->out_fd);
  ::close(state_->err_fd);
}

std::optional<std::string> ChildProcess::wait_for_stderr(const std::string& needle,
                                                         std::chrono::steady_clock::duration timeout) const {
  std::unique_lock lock(state_->mutex);
  std::optional<std::string> line;
  state_->changed.wait_for(lock, timeout, [&] {
    const size_t at = state_->err.find(needle);
    if (at == std::string::npos) return state_->done_reading;
    const size_t begin = state_->err.rfind('\n', at);
    const size_t end = state_->err.find('\n', at);
    if (end == std::string::npos) return state_->done_reading;  // the line is not complete yet
    const size_t from = begin == std::string::npos ? 0 : begin + 1;
    line = state_->err.substr(from, end - from);
    return true;
  });
  return line;
}

std::string ChildProcess::stdout_text() const {
  std::lock_guard lock(state_->mutex);
  return state_->out;
}

std::string ChildProcess::stderr_text() const {
  std::lock_guard lock(state_->mutex);
  return state_->err;
}

void ChildProcess::signal(int sig) {
  if (!state_->status) ::kill(state_->pid, sig);
}

std::optional<int> ChildProcess::wait_exit(std::chrono::steady_clock::duration timeout) {
  if (state_->status) return state_->status;
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int st = 0;
    const pid_t r = ::waitpid(state_->pid, &st, WNOHANG);
    if (r == state_->pid) {
      state_->status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      if (state_->reader.joinable()) state_->reader.join();
      return state_->status;
    }
    if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace nettest
