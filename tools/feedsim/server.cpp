#include "server.hpp"

#include <fmt/format.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>
#include <cstdio>
#include <deque>
#include <list>
#include <type_traits>

#include "market.hpp"

namespace feedsim {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using beast::error_code;
using Clock = std::chrono::steady_clock;
using asio::redirect_error;
using asio::use_awaitable;

constexpr const char* kServerName = "feedsim/0.1.0";

Clock::duration seconds(double s) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

// A periodic event; period zero means never.
struct Tick {
  Clock::duration period{};
  Clock::time_point next = Clock::time_point::max();
  Tick(double every_s, Clock::time_point start) {
    if (every_s > 0) {
      period = std::max(seconds(every_s), Clock::duration(1));
      next = start + period;
    }
  }
  bool due(Clock::time_point now) {
    if (now < next) return false;
    next += period;
    if (next <= now - std::chrono::seconds(1)) next = now + period;  // no bursts after a stall
    return true;
  }
};

struct Outgoing {
  std::shared_ptr<const std::string> data;
  bool binary = false;
  bool one_frame = false;  // not split into 64 KiB frames
};

class ServerImpl;

// One client connection after its opening handshake: its own market, timers that
// produce messages, a queue with a byte bound, a writer and a reader.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(ServerImpl& server, asio::any_io_executor ex, std::string peer);
  virtual ~Session() = default;  // must not touch the server: it may be gone

  void end(const std::string& why, bool reset = false);
  bool ended() const { return ended_; }

 protected:
  asio::awaitable<void> run();
  virtual asio::awaitable<error_code> write(const Outgoing& m) = 0;
  virtual asio::awaitable<error_code> read() = 0;
  virtual void close_tcp(bool reset) = 0;

  ServerImpl& server_;
  const Options& opts_;
  std::string peer_;

 private:
  asio::awaitable<void> producer();
  asio::awaitable<void> writer(std::shared_ptr<Session> self);
  asio::awaitable<void> reader(std::shared_ptr<Session> self);
  void push(std::string text, bool binary = false);
  void push(std::shared_ptr<const std::string> data, bool binary = false, bool one_frame = false);

  asio::steady_timer timer_;  // the producer's next event
  asio::steady_timer wake_;   // the writer's "queue not empty"
  std::deque<Outgoing> queue_;
  size_t queued_ = 0;
  bool ended_ = false;
  std::optional<Market> market_;
};

class ServerImpl final : public Server {
 public:
  ServerImpl(asio::io_context& io, const Options& o) : io_(io), opts_(o), acceptor_(io) {}

  bool open(std::string& error) {
    try {
      if (!opts_.tls_cert.empty()) {
        tls_.emplace(ssl::context::tls_server);
        SSL_CTX_set_min_proto_version(tls_->native_handle(), TLS1_2_VERSION);
        tls_->use_certificate_chain_file(opts_.tls_cert);
        tls_->use_private_key_file(opts_.tls_key, ssl::context::pem);
      }
      const tcp::endpoint ep(asio::ip::make_address(opts_.host), opts_.port);
      acceptor_.open(ep.protocol());
      acceptor_.set_option(tcp::acceptor::reuse_address(true));
      acceptor_.bind(ep);
      acceptor_.listen();
      bound_ = acceptor_.local_endpoint();
    } catch (const std::exception& e) {
      error = fmt::format("cannot listen on {}:{}: {}", opts_.host, opts_.port, e.what());
      return false;
    }
    return true;
  }

  std::string url() const override {
    const auto addr = bound_.address();
    const std::string host = addr.is_v6() ? "[" + addr.to_string() + "]" : addr.to_string();
    return fmt::format("{}://{}:{}{}", tls_ ? "wss" : "ws", host, bound_.port(), opts_.path);
  }

  void start() override { asio::co_spawn(io_, accept_loop(), asio::detached); }

  void stop() override {
    error_code ignored;
    acceptor_.close(ignored);
    auto sessions = sessions_;
    for (auto& w : sessions)
      if (auto s = w.lock()) s->end("server stopping");
  }

  const Options& options() const { return opts_; }
  void add(const std::shared_ptr<Session>& s) { sessions_.push_back(s); }
  void remove(const Session* s) {
    sessions_.remove_if([s](const std::weak_ptr<Session>& w) {
      auto p = w.lock();
      return !p || p.get() == s;
    });
  }
  size_t next_drop() { return drops_++; }

  std::shared_ptr<const std::string> oversized() {
    if (!oversized_) oversized_ = std::make_shared<const std::string>(Market::oversized(opts_.oversize_bytes));
    return oversized_;
  }

  template <class... Args>
  void log(fmt::format_string<Args...> f, Args&&... args) {
    if (opts_.quiet) return;
    std::fputs(("feedsim: " + fmt::format(f, std::forward<Args>(args)...) + "\n").c_str(), stderr);
  }

 private:
  asio::awaitable<void> accept_loop();

  asio::io_context& io_;
  Options opts_;
  std::optional<ssl::context> tls_;
  tcp::acceptor acceptor_;
  tcp::endpoint bound_;
  std::list<std::weak_ptr<Session>> sessions_;
  std::shared_ptr<const std::string> oversized_;
  size_t drops_ = 0;
};

Session::Session(ServerImpl& server, asio::any_io_executor ex, std::string peer)
    : server_(server), opts_(server.options()), peer_(std::move(peer)), timer_(ex), wake_(ex) {}

void Session::end(const std::string& why, bool reset) {
  if (ended_) return;
  ended_ = true;
  server_.log("{} {}", peer_, why);
  timer_.cancel();
  wake_.cancel();
  close_tcp(reset);
  server_.remove(this);
}

void Session::push(std::string text, bool binary) {
  push(std::make_shared<const std::string>(std::move(text)), binary);
}

void Session::push(std::shared_ptr<const std::string> data, bool binary, bool one_frame) {
  if (ended_) return;
  // One message always goes, however large; beyond that the queue is bounded.
  if (!queue_.empty() && queued_ + data->size() > opts_.max_queue) {
    end(fmt::format("dropped: too slow ({} bytes waiting)", queued_));
    return;
  }
  queued_ += data->size();
  queue_.push_back({std::move(data), binary, one_frame});
  wake_.cancel();
}

asio::awaitable<void> Session::run() {
  auto self = shared_from_this();
  auto ex = co_await asio::this_coro::executor;
  asio::co_spawn(ex, writer(self), asio::detached);
  asio::co_spawn(ex, reader(self), asio::detached);
  co_await producer();
}

asio::awaitable<void> Session::producer() {
  market_.emplace(opts_.seed, opts_.symbols, opts_.afterhours);
  Market& market = *market_;
  push(market.snapshot());
  push(market.afterhours());

  const auto start = Clock::now();
  Tick updates(opts_.rate > 0 ? 1.0 / opts_.rate : 0.0, start);
  Tick pings(opts_.ping_interval, start);
  Tick snapshots(opts_.snapshot_interval, start);
  Tick garbage(opts_.garbage_every, start);
  Tick oversize(opts_.oversize_every, start);
  Tick drop(opts_.drop_every, start);

  while (!ended_) {
    const auto due = std::min({updates.next, pings.next, snapshots.next, garbage.next, oversize.next, drop.next});
    timer_.expires_at(due);
    error_code ec;
    co_await timer_.async_wait(redirect_error(use_awaitable, ec));
    if (ended_) break;
    const auto now = Clock::now();
    if (drop.due(now)) {
      const bool reset = server_.next_drop() % 2 == 1;
      end(reset ? "dropped on purpose (reset)" : "dropped on purpose (TCP close)", reset);
      break;
    }
    if (snapshots.due(now)) {
      push(market.snapshot());
      push(market.afterhours());
    }
    for (int n = 0; n < 1000 && !ended_ && updates.due(now); ++n) push(market.update(opts_.batch));
    if (pings.due(now)) push(Market::ping());
    if (garbage.due(now)) {
      bool binary = false;
      std::string text = market.garbage(binary);
      push(std::move(text), binary);
    }
    // In one frame, so that a client can refuse it from the frame header alone.
    if (oversize.due(now)) push(server_.oversized(), false, true);
  }
}

asio::awaitable<void> Session::writer(std::shared_ptr<Session> /*keeps the session alive*/) {
  for (;;) {
    while (queue_.empty() && !ended_) {
      wake_.expires_at(Clock::time_point::max());
      error_code ec;
      co_await wake_.async_wait(redirect_error(use_awaitable, ec));
    }
    if (ended_) co_return;
    const Outgoing m = queue_.front();
    const error_code ec = co_await write(m);
    if (ec) {
      end("write failed: " + ec.message());
      co_return;
    }
    queue_.pop_front();
    queued_ -= m.data->size();
  }
}

asio::awaitable<void> Session::reader(std::shared_ptr<Session> /*keeps the session alive*/) {
  const error_code ec = co_await read();
  if (ec == websocket::error::closed)
    end("closed by the client");
  else
    end("disconnected: " + ec.message());
}

template <class Next>
class WsSession final : public Session {
 public:
  template <class... Args>
  WsSession(ServerImpl& server, std::string peer, tcp::socket socket, Args&... args)
      : Session(server, socket.get_executor(), std::move(peer)), ws_(std::move(socket), args...) {}

  asio::awaitable<void> serve() {
    auto self = shared_from_this();
    server_.add(self);
    auto& tcp_stream = beast::get_lowest_layer(ws_);
    tcp_stream.expires_after(std::chrono::seconds(10));  // for the TLS and HTTP handshakes
    error_code ec;
    if constexpr (!std::is_same_v<Next, beast::tcp_stream>) {
      co_await ws_.next_layer().async_handshake(ssl::stream_base::server, redirect_error(use_awaitable, ec));
      if (ec) {
        end("TLS handshake failed: " + ec.message());
        co_return;
      }
    }
    beast::flat_buffer buffer;
    http::request_parser<http::empty_body> parser;
    parser.header_limit(16 * 1024);
    co_await http::async_read(ws_.next_layer(), buffer, parser, redirect_error(use_awaitable, ec));
    if (ec) {
      end("bad request: " + ec.message());
      co_return;
    }
    auto req = parser.release();
    const std::string_view target = req.target();
    const std::string_view path = target.substr(0, target.find('?'));
    if (path != opts_.path) {
      co_await respond(req, http::status::not_found, "not found; the feed is at " + opts_.path + "\n");
      end(fmt::format("refused: no feed at {}", path));
      co_return;
    }
    if (!websocket::is_upgrade(req)) {
      co_await respond(req, http::status::upgrade_required, "this is a WebSocket feed\n");
      end("refused: not a WebSocket upgrade");
      co_return;
    }
    tcp_stream.expires_never();
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& res) { res.set(http::field::server, kServerName); }));
    ws_.read_message_max(64 * 1024);  // clients have nothing to say
    ws_.write_buffer_bytes(64 * 1024);  // large messages go out in 64 KiB frames
    co_await ws_.async_accept(req, redirect_error(use_awaitable, ec));
    if (ec) {
      end("handshake failed: " + ec.message());
      co_return;
    }
    server_.log("{} connected", peer_);
    co_await run();
  }

 private:
  asio::awaitable<void> respond(const http::request<http::empty_body>& req, http::status status, std::string body) {
    http::response<http::string_body> res{status, req.version()};
    res.set(http::field::server, kServerName);
    res.set(http::field::content_type, "text/plain");
    if (status == http::status::upgrade_required) {
      res.set(http::field::upgrade, "websocket");
      res.set(http::field::connection, "Upgrade");
    }
    res.keep_alive(false);
    res.body() = std::move(body);
    res.prepare_payload();
    error_code ec;
    co_await http::async_write(ws_.next_layer(), res, redirect_error(use_awaitable, ec));
  }

  asio::awaitable<error_code> write(const Outgoing& m) override {
    ws_.binary(m.binary);
    ws_.auto_fragment(!m.one_frame);
    error_code ec;
    co_await ws_.async_write(asio::buffer(*m.data), redirect_error(use_awaitable, ec));
    co_return ec;
  }

  asio::awaitable<error_code> read() override {
    for (;;) {
      beast::flat_buffer b;
      error_code ec;
      co_await ws_.async_read(b, redirect_error(use_awaitable, ec));
      if (ec) co_return ec;
    }
  }

  void close_tcp(bool reset) override {
    auto& s = beast::get_lowest_layer(ws_);
    error_code ignored;
    if (reset) s.socket().set_option(asio::socket_base::linger(true, 0), ignored);
    s.socket().close(ignored);
  }

  websocket::stream<Next> ws_;
};

asio::awaitable<void> ServerImpl::accept_loop() {
  for (;;) {
    error_code ec;
    tcp::socket socket = co_await acceptor_.async_accept(redirect_error(use_awaitable, ec));
    if (!acceptor_.is_open()) co_return;
    if (ec) {
      // Out of descriptors and the like: breathe, then go on accepting.
      asio::steady_timer pause(io_, std::chrono::milliseconds(100));
      co_await pause.async_wait(redirect_error(use_awaitable, ec));
      continue;
    }
    error_code peer_ec;
    const auto peer_ep = socket.remote_endpoint(peer_ec);
    std::string peer = peer_ec ? "client" : fmt::format("{}:{}", peer_ep.address().to_string(), peer_ep.port());
    if (tls_) {
      auto s = std::make_shared<WsSession<ssl::stream<beast::tcp_stream>>>(*this, std::move(peer), std::move(socket),
                                                                           *tls_);
      asio::co_spawn(io_, s->serve(), asio::detached);
    } else {
      auto s = std::make_shared<WsSession<beast::tcp_stream>>(*this, std::move(peer), std::move(socket));
      asio::co_spawn(io_, s->serve(), asio::detached);
    }
  }
}

}  // namespace

std::unique_ptr<Server> Server::create(boost::asio::io_context& io, const Options& options, std::string& error) {
  auto s = std::make_unique<ServerImpl>(io, options);
  if (!s->open(error)) return nullptr;
  return s;
}

}  // namespace feedsim
