#include "ws_test_server.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <type_traits>

namespace nettest {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using beast::error_code;

ClientEnd classify(const error_code& ec) {
  if (ec == websocket::error::closed) return ClientEnd::CloseFrame;
  if (ec == asio::error::eof || ec == ssl::error::stream_truncated) return ClientEnd::Eof;
  if (ec == asio::error::connection_reset || ec == asio::error::broken_pipe) return ClientEnd::Reset;
  return ClientEnd::OtherError;
}

struct Record {
  Handshake handshake;
  Clock::time_point handshake_time{};
  std::optional<ClientEnd> end;
  Clock::time_point end_time{};
};

// What the test thread asks of one client's session; runs on the server's thread.
struct Session {
  virtual ~Session() = default;
  using Done = std::function<void(bool)>;
  virtual void send(bool binary, std::shared_ptr<const std::string> data, Done done) = 0;
  virtual void control(bool pong, std::string payload, Done done) = 0;
  virtual void raw(std::shared_ptr<const std::string> bytes, Done done) = 0;
  virtual void close(std::string reason, Done done) = 0;
  virtual void end_tcp(bool reset) = 0;
  virtual std::string sni() = 0;
};

tcp::socket& lowest(tcp::socket& s) { return s; }
tcp::socket& lowest(ssl::stream<tcp::socket>& s) { return s.next_layer(); }

template <class Stream>
struct SessionImpl : Session, std::enable_shared_from_this<SessionImpl<Stream>> {
  websocket::stream<Stream> ws;
  template <class... Args>
  explicit SessionImpl(Args&&... args) : ws(std::forward<Args>(args)...) {}

  void send(bool binary, std::shared_ptr<const std::string> data, Done done) override {
    ws.binary(binary);
    ws.auto_fragment(false);  // one message, one frame
    ws.async_write(asio::buffer(*data), [data, done, self = this->shared_from_this()](error_code ec, size_t) {
      done(!ec);
    });
  }
  void control(bool pong, std::string payload, Done done) override {
    auto p = std::make_shared<websocket::ping_data>(payload.data(), payload.size());
    auto cb = [p, done, self = this->shared_from_this()](error_code ec) { done(!ec); };
    if (pong)
      ws.async_pong(*p, cb);
    else
      ws.async_ping(*p, cb);
  }
  void raw(std::shared_ptr<const std::string> bytes, Done done) override {
    asio::async_write(ws.next_layer(), asio::buffer(*bytes),
                      [bytes, done, self = this->shared_from_this()](error_code ec, size_t) { done(!ec); });
  }
  void close(std::string reason, Done done) override {
    ws.async_close(websocket::close_reason(websocket::close_code::normal, reason),
                   [done, self = this->shared_from_this()](error_code ec) { done(!ec); });
  }
  void end_tcp(bool reset) override {
    error_code ignored;
    if (reset) lowest(ws.next_layer()).set_option(asio::socket_base::linger(true, 0), ignored);
    lowest(ws.next_layer()).close(ignored);
  }
  std::string sni() override {
    if constexpr (std::is_same_v<Stream, tcp::socket>) {
      return {};
    } else {
      const char* name = SSL_get_servername(ws.next_layer().native_handle(), TLSEXT_NAMETYPE_host_name);
      return name ? name : "";
    }
  }
};

}  // namespace

struct WsTestServer::Impl : std::enable_shared_from_this<Impl> {
  std::optional<ssl::context> tls;  // outlives the sessions destroyed with `io`
  asio::io_context io;
  asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
  tcp::acceptor acceptor{io};
  std::thread thread;
  uint16_t port = 0;
  std::string address;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<Record> records;                     // one per completed handshake
  std::vector<std::shared_ptr<Session>> sessions;  // same index
  size_t tcp_accepts = 0;
  size_t tls_failures = 0;

  void notify(const std::function<void()>& f) {
    {
      std::lock_guard lock(mutex);
      f();
    }
    changed.notify_all();
  }

  asio::awaitable<void> accept_loop() {
    for (;;) {
      error_code ec;
      tcp::socket socket = co_await acceptor.async_accept(asio::redirect_error(asio::use_awaitable, ec));
      if (ec) {
        if (!acceptor.is_open()) co_return;
        continue;
      }
      notify([&] { ++tcp_accepts; });
      if (tls) {
        auto s = std::make_shared<SessionImpl<ssl::stream<tcp::socket>>>(std::move(socket), *tls);
        asio::co_spawn(io, serve_tls(s), asio::detached);
      } else {
        auto s = std::make_shared<SessionImpl<tcp::socket>>(std::move(socket));
        asio::co_spawn(io, serve(s), asio::detached);
      }
    }
  }

  asio::awaitable<void> serve_tls(std::shared_ptr<SessionImpl<ssl::stream<tcp::socket>>> s) {
    error_code ec;
    co_await s->ws.next_layer().async_handshake(ssl::stream_base::server,
                                                asio::redirect_error(asio::use_awaitable, ec));
    if (ec) {
      notify([&] { ++tls_failures; });
      co_return;
    }
    co_await serve(s);
  }

  template <class S>
  asio::awaitable<void> serve(std::shared_ptr<S> s) {
    error_code ec;
    beast::flat_buffer buffer;
    http::request<http::string_body> req;
    co_await http::async_read(s->ws.next_layer(), buffer, req, asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    Handshake hs;
    hs.sni = s->sni();
    hs.method = std::string(req.method_string());
    hs.target = std::string(req.target());
    for (const auto& field : req) hs.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    co_await s->ws.async_accept(req, asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    size_t index = 0;
    notify([&] {
      index = records.size();
      records.push_back(Record{std::move(hs), Clock::now(), {}, {}});
      sessions.push_back(s);
    });
    // Keep reading so that control frames are answered and the end is seen.
    for (;;) {
      beast::flat_buffer b;
      co_await s->ws.async_read(b, asio::redirect_error(asio::use_awaitable, ec));
      if (ec) break;
    }
    const ClientEnd end = classify(ec);
    notify([&] {
      records[index].end = end;
      records[index].end_time = Clock::now();
    });
  }

  // Runs `f(session, done)` on the server thread and waits for done(ok).
  bool act(size_t client, std::function<void(Session&, Session::Done)> f) {
    std::shared_ptr<Session> s;
    {
      std::lock_guard lock(mutex);
      if (sessions.empty()) return false;
      const size_t i = client == kLatest ? sessions.size() - 1 : client;
      if (i >= sessions.size()) return false;
      s = sessions[i];
    }
    auto result = std::make_shared<std::promise<bool>>();
    auto future = result->get_future();
    asio::post(io, [s, f, result] {
      f(*s, [result](bool ok) { result->set_value(ok); });
    });
    if (future.wait_for(60s) != std::future_status::ready) return false;
    return future.get();
  }

  size_t index_of(size_t client) const { return client == kLatest ? records.size() - 1 : client; }
};

WsTestServer::WsTestServer(ServerOptions options) : impl_(std::make_shared<Impl>()) {
  auto& im = *impl_;
  im.address = options.address;
  if (options.tls) {
    im.tls.emplace(ssl::context::tls_server);
    im.tls->use_certificate_chain_file(options.tls->cert_chain);
    im.tls->use_private_key_file(options.tls->key, ssl::context::pem);
  }
  const tcp::endpoint ep(asio::ip::make_address(options.address), 0);
  im.acceptor.open(ep.protocol());
  im.acceptor.set_option(tcp::acceptor::reuse_address(true));
  im.acceptor.bind(ep);
  im.port = im.acceptor.local_endpoint().port();
  if (options.listen) start_listening();
  im.thread = std::thread([&im] { im.io.run(); });
}

void WsTestServer::start_listening() {
  auto im = impl_;
  auto begin = [im] {
    im->acceptor.listen();
    asio::co_spawn(im->io, im->accept_loop(), asio::detached);
  };
  if (!im->thread.joinable()) {
    begin();
    return;
  }
  std::promise<void> done;
  asio::post(im->io, [&] {
    begin();
    done.set_value();
  });
  done.get_future().wait();
}

WsTestServer::~WsTestServer() {
  impl_->io.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
  // Sessions hold shared pointers to themselves through pending handlers; destroying
  // the context releases them.
  std::lock_guard lock(impl_->mutex);
  impl_->sessions.clear();
}

uint16_t WsTestServer::port() const { return impl_->port; }

std::string WsTestServer::url(std::string_view path) const {
  const bool v6 = impl_->address.find(':') != std::string::npos;
  std::string host = v6 ? "[" + impl_->address + "]" : impl_->address;
  return std::string(impl_->tls ? "wss://" : "ws://") + host + ":" + std::to_string(impl_->port) + std::string(path);
}

size_t WsTestServer::clients() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records.size();
}

bool WsTestServer::wait_for_clients(size_t n, Clock::duration timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->records.size() >= n; });
}

Clock::time_point WsTestServer::handshake_time(size_t client) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records.at(impl_->index_of(client)).handshake_time;
}

Handshake WsTestServer::handshake(size_t client) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records.at(impl_->index_of(client)).handshake;
}

size_t WsTestServer::tcp_accepts() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->tcp_accepts;
}

size_t WsTestServer::tls_failures() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->tls_failures;
}

bool WsTestServer::wait_for_tls_failures(size_t n, Clock::duration timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->tls_failures >= n; });
}

bool WsTestServer::send_text(std::string_view text, size_t client) {
  auto data = std::make_shared<const std::string>(text);
  return impl_->act(client, [data](Session& s, Session::Done done) { s.send(false, data, done); });
}

bool WsTestServer::send_binary(std::string_view payload, size_t client) {
  auto data = std::make_shared<const std::string>(payload);
  return impl_->act(client, [data](Session& s, Session::Done done) { s.send(true, data, done); });
}

bool WsTestServer::send_ping(std::string_view payload, size_t client) {
  std::string p(payload);
  return impl_->act(client, [p](Session& s, Session::Done done) { s.control(false, p, done); });
}

bool WsTestServer::send_pong(std::string_view payload, size_t client) {
  std::string p(payload);
  return impl_->act(client, [p](Session& s, Session::Done done) { s.control(true, p, done); });
}

bool WsTestServer::send_raw(std::string_view bytes, size_t client) {
  auto data = std::make_shared<const std::string>(bytes);
  return impl_->act(client, [data](Session& s, Session::Done done) { s.raw(data, done); });
}

bool WsTestServer::close(std::string_view reason, size_t client) {
  std::string r(reason);
  return impl_->act(client, [r](Session& s, Session::Done done) { s.close(r, done); });
}

void WsTestServer::reset(size_t client) {
  impl_->act(client, [](Session& s, Session::Done done) {
    s.end_tcp(true);
    done(true);
  });
}

void WsTestServer::drop(size_t client) {
  impl_->act(client, [](Session& s, Session::Done done) {
    s.end_tcp(false);
    done(true);
  });
}

std::optional<ClientEnd> WsTestServer::wait_for_end(size_t client, Clock::duration timeout) const {
  std::unique_lock lock(impl_->mutex);
  const size_t i = impl_->index_of(client);
  if (i >= impl_->records.size()) return std::nullopt;
  impl_->changed.wait_for(lock, timeout, [&] { return impl_->records[i].end.has_value(); });
  return impl_->records[i].end;
}

Clock::time_point WsTestServer::end_time(size_t client) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records.at(impl_->index_of(client)).end_time;
}

std::string raw_text_frame(std::string_view payload) {
  if (payload.size() >= 126) throw std::invalid_argument("raw_text_frame: payload too long");
  std::string frame;
  frame.push_back(static_cast<char>(0x81));  // FIN, text
  frame.push_back(static_cast<char>(payload.size()));
  frame.append(payload);
  return frame;
}

}  // namespace nettest
