#include "e2e/ws_stub.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace e2e {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

bool send_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(size_t(n));
  }
  return true;
}

std::string accept_key(std::string_view key) {
  const std::string text = std::string(key) + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
  unsigned char out[4 * ((SHA_DIGEST_LENGTH + 2) / 3) + 1];
  const int n = EVP_EncodeBlock(out, digest, SHA_DIGEST_LENGTH);
  return std::string(reinterpret_cast<char*>(out), size_t(n));
}

// The Sec-WebSocket-Key header's value (header names are case-insensitive).
std::string request_key(const std::string& request) {
  size_t line = 0;
  while (line < request.size()) {
    const size_t end = request.find("\r\n", line);
    if (end == std::string::npos) break;
    const std::string_view text(request.data() + line, end - line);
    const std::string_view name = "sec-websocket-key:";
    if (text.size() > name.size() && strncasecmp(text.data(), name.data(), name.size()) == 0) {
      std::string_view v = text.substr(name.size());
      while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
      while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
      return std::string(v);
    }
    line = end + 2;
  }
  return {};
}

std::string text_frame(std::string_view payload) {
  std::string f;
  f.push_back(char(0x81));  // FIN, text
  const uint64_t n = payload.size();
  if (n < 126) {
    f.push_back(char(n));
  } else if (n <= 0xffff) {
    f.push_back(char(126));
    f.push_back(char(n >> 8));
    f.push_back(char(n & 0xff));
  } else {
    f.push_back(char(127));
    for (int i = 7; i >= 0; --i) f.push_back(char((n >> (8 * i)) & 0xff));
  }
  f.append(payload);
  return f;
}

}  // namespace

WsStub::WsStub(std::vector<std::string> messages) : messages_(std::move(messages)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) fail("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) fail("bind");
  if (::listen(listen_fd_, 8) != 0) fail("listen");
  socklen_t len = sizeof addr;
  if (::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) fail("getsockname");
  port_ = ntohs(addr.sin_port);
  if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) fail("pipe2");
  thread_ = std::thread([this] { run(); });
}

WsStub::~WsStub() {
  const char byte = 0;
  [[maybe_unused]] ssize_t n = ::write(stop_pipe_[1], &byte, 1);
  thread_.join();
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
  ::close(listen_fd_);
}

void WsStub::run() {
  struct Client {
    int fd;
    std::string request;  // until the handshake is answered
    bool open = false;
  };
  std::vector<Client> clients;
  for (;;) {
    std::vector<pollfd> fds = {{stop_pipe_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
    for (const auto& c : clients) fds.push_back({c.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;
    if (fds[1].revents & POLLIN) {
      const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) clients.push_back({fd, {}, false});
    }
    for (size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      Client& c = clients[i - 2];
      char buf[4096];
      const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
      if (n <= 0) {
        ::close(c.fd);
        c.fd = -1;
        continue;
      }
      if (c.open) continue;  // the client's frames (pongs, close) are of no interest
      c.request.append(buf, size_t(n));
      if (c.request.find("\r\n\r\n") == std::string::npos) continue;
      const std::string response =
          "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
          "Sec-WebSocket-Accept: " + accept_key(request_key(c.request)) + "\r\n\r\n";
      bool ok = send_all(c.fd, response);
      for (const auto& m : messages_) ok = ok && send_all(c.fd, text_frame(m));
      c.open = true;
      ++connections_;
    }
    std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
  }
  for (const auto& c : clients) ::close(c.fd);
}

std::string snapshot_json(int count) {
  std::string out = R"({"type":"snapshot","symbols":[)";
  for (int i = 0; i < count; ++i) {
    char row[256];
    std::snprintf(row, sizeof row,
                  R"(%s{"sym":"S%03d","last":%d.25,"chg":1.5,"vol":%d,"hod":%d.5,"hodc":0,"dvol":1000.0,"tc":10,"vpm":5})",
                  i ? "," : "", i, 10 + i, 100000 + i, 11 + i);
    out += row;
  }
  out += "]}";
  return out;
}

}  // namespace e2e
