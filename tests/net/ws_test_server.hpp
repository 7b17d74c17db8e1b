#pragma once
// A WebSocket server on loopback for the feed tests: it accepts any number of clients,
// records each opening handshake, and sends whatever a test asks for — messages,
// control frames, raw bytes, a closing handshake or an abrupt reset.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nettest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct TlsFiles {
  std::string cert_chain;  // PEM: server certificate (then intermediates)
  std::string key;         // PEM private key
};

struct ServerOptions {
  std::optional<TlsFiles> tls;
  std::string address = "127.0.0.1";
  bool listen = true;  // false: the port is bound but refuses until start_listening()
};

// How a client's connection ended, as the server saw it.
enum class ClientEnd { CloseFrame, Eof, Reset, OtherError };

struct Handshake {
  std::string sni;  // server name the TLS client indicated; empty for none or plain TCP
  std::string method;
  std::string target;
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
};

class WsTestServer {
 public:
  explicit WsTestServer(ServerOptions options = {});
  ~WsTestServer();
  WsTestServer(const WsTestServer&) = delete;
  WsTestServer& operator=(const WsTestServer&) = delete;

  uint16_t port() const;
  std::string url(std::string_view path = "/ws") const;  // ws:// or wss:// on address:port
  void start_listening();

  // Clients that completed the opening handshake, in order; index 0 is the first.
  size_t clients() const;
  bool wait_for_clients(size_t n, Clock::duration timeout = 10s) const;
  Clock::time_point handshake_time(size_t client) const;
  Handshake handshake(size_t client) const;
  size_t tcp_accepts() const;
  size_t tls_failures() const;  // TLS handshakes that failed
  bool wait_for_tls_failures(size_t n, Clock::duration timeout = 10s) const;

  // Each returns once the frame is written (true) or the write failed (false). They
  // act on the latest client unless one is named.
  static constexpr size_t kLatest = static_cast<size_t>(-1);
  bool send_text(std::string_view text, size_t client = kLatest);
  bool send_binary(std::string_view payload, size_t client = kLatest);
  bool send_ping(std::string_view payload, size_t client = kLatest);
  bool send_pong(std::string_view payload, size_t client = kLatest);
  bool send_raw(std::string_view bytes, size_t client = kLatest);  // bypasses the framing
  bool close(std::string_view reason = {}, size_t client = kLatest);  // closing handshake
  void reset(size_t client = kLatest);  // RST, no closing handshake
  void drop(size_t client = kLatest);   // FIN, no closing handshake

  // How the client's connection ended; nothing if it has not within the timeout.
  std::optional<ClientEnd> wait_for_end(size_t client = kLatest, Clock::duration timeout = 10s) const;
  Clock::time_point end_time(size_t client) const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// An unmasked server text frame whose payload is `payload` (< 126 bytes), unchecked.
std::string raw_text_frame(std::string_view payload);

}  // namespace nettest
