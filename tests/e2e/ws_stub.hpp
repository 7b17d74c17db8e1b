#pragma once
// A minimal WebSocket server on the loopback interface for end-to-end tests: every client
// that completes the opening handshake is sent the given text messages, and is then kept
// open (its frames read and ignored) until the server stops.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

class WsStub {
 public:
  explicit WsStub(std::vector<std::string> messages);  // throws std::runtime_error
  ~WsStub();
  WsStub(const WsStub&) = delete;
  WsStub& operator=(const WsStub&) = delete;

  uint16_t port() const { return port_; }
  std::string url() const { return "ws://127.0.0.1:" + std::to_string(port_) + "/ws"; }
  int connections() const { return connections_.load(); }

 private:
  void run();
  void serve(int fd);

  std::vector<std::string> messages_;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// One JSON snapshot message with `count` rows named S000, S001, ... (all members valid).
std::string snapshot_json(int count);

}  // namespace e2e
