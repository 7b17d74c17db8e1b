#pragma once
// A program run by a test, with its standard output and error collected as it goes.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nettest {

class ChildProcess {
 public:
  ChildProcess(const std::string& path, const std::vector<std::string>& args);
  ~ChildProcess();  // kills it if still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The first line of standard error (collected so far or arriving in time) that
  // contains `needle`.
  std::optional<std::string> wait_for_stderr(const std::string& needle,
                                             std::chrono::steady_clock::duration timeout) const;
  std::string stdout_text() const;
  std::string stderr_text() const;

  void signal(int sig);
  // The exit status, or 128 + signal number; nothing if still running after `timeout`.
  std::optional<int> wait_exit(std::chrono::steady_clock::duration timeout);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace nettest
