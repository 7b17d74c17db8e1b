#include "feed/feed_task.hpp"

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <exception>
#include <utility>

#include "feed/decode.hpp"
#include "feed/feed_apply.hpp"
#include "feed/feed_limits.hpp"
#include "feed/feed_resolve.hpp"
#include "feed/feed_url.hpp"

namespace feed {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace ssl = boost::asio::ssl;
namespace websocket = boost::beast::websocket;
using tcp = asio::ip::tcp;
using beast::error_code;

// A TCP socket type of our own, so that the closing of a connection can be ours too.
struct FeedSocket : tcp::socket {
  using tcp::socket::socket;
};

// Beast's own teardown waits, without any time limit, for the server to end the TCP
// connection (and for TLS, for its close_notify) once the close frames are exchanged
// or the connection has failed. A server that never does would keep the task there,
// showing connected. We have nothing left to receive at that point, so the socket is
// closed at once (RFC 6455 7.1.1 lets a client close after the Close exchange).
template <class Handler>
void close_now(FeedSocket& socket, Handler&& handler) {
  error_code ignored;
  socket.close(ignored);
  asio::post(socket.get_executor(), beast::bind_front_handler(std::forward<Handler>(handler), error_code{}));
}

template <class Handler>
void async_teardown(beast::role_type, FeedSocket& socket, Handler&& handler) {
  close_now(socket, std::forward<Handler>(handler));
}

template <class Handler>
void async_teardown(beast::role_type, ssl::stream<FeedSocket>& stream, Handler&& handler) {
  close_now(stream.next_layer(), std::forward<Handler>(handler));
}

// Compiled without permessage-deflate: no extension is ever offered.
using PlainWs = websocket::stream<FeedSocket, false>;
using TlsWs = websocket::stream<ssl::stream<FeedSocket>, false>;

constexpr auto kReconnectPause = std::chrono::seconds(5);

template <class Ws>
FeedSocket& tcp_layer(Ws& ws) {
  if constexpr (std::is_same_v<Ws, PlainWs>)
    return ws.next_layer();
  else
    return ws.next_layer().next_layer();
}

template <class Ws>
void configure(Ws& ws, state::SharedApp& shared) {
  // Only the headers RFC 6455 requires go out.
  ws.set_option(websocket::stream_base::decorator(
      [](websocket::request_type& req) { req.erase(beast::http::field::user_agent); }));
  ws.read_message_max(kReadMessageMax);
  // Ping, pong and close payloads go through the same decoding as messages. The callback
  // runs inside the read, so they are applied in arrival order.
  ws.control_callback([&shared](websocket::frame_type kind, beast::string_view payload) {
    const std::string_view text(payload.data(), payload.size());
    if (kind == websocket::frame_type::close)
      deliver_text(shared, text);  // the close reason, already checked as UTF-8
    else
      deliver_unchecked(shared, text, false);
  });
}

// Receives until the connection fails or ends; every message is applied before the
// next read starts.
template <class Ws>
asio::awaitable<void> receive(Ws& ws, state::SharedApp& shared) {
  beast::flat_buffer buffer;
  for (;;) {
    error_code ec;
    co_await ws.async_read(buffer, asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    // Room after the text lets the decoder parse it in place instead of copying it.
    buffer.prepare(kDecodePadding);
    const auto data = buffer.cdata();
    const std::string_view text(static_cast<const char*>(data.data()), data.size());
    if (ws.got_binary())
      deliver_unchecked(shared, text, true);  // text frames were checked by the reader
    else
      deliver_padded_text(shared, text);
    buffer.consume(buffer.size());
  }
}

template <class Ws>
asio::awaitable<void> handshake_and_receive(Ws& ws, const FeedUrl& url, state::SharedApp& shared) {
  error_code ec;
  co_await ws.async_handshake(url.host_header, url.target, asio::redirect_error(asio::use_awaitable, ec));
  if (ec) co_return;
  set_connected(shared, true);
  co_await receive(ws, shared);
  set_connected(shared, false);
}

bool prepare_tls(ssl::stream<FeedSocket>& stream, const FeedUrl& url) {
  SSL* ssl = stream.native_handle();
  if (url.host_is_ip) {
    // An IP literal is checked against the certificate's IP addresses; RFC 6066 keeps
    // it out of the server name indication.
    if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), url.host.c_str()) != 1) return false;
  } else {
    if (SSL_set_tlsext_host_name(ssl, url.host.c_str()) != 1) return false;
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (SSL_set1_host(ssl, url.host.c_str()) != 1) return false;
  }
  return true;
}

// One connection attempt, and the connection while it lasts. Returns on any failure
// or when the connection ends; `connected` is false again by then.
asio::awaitable<void> connect_once(const std::string& url_text, state::SharedApp& shared) {
  const std::optional<FeedUrl> url = parse_feed_url(url_text);
  if (!url) co_return;
  auto ex = co_await asio::this_coro::executor;

  error_code ec;
  const std::vector<tcp::endpoint> endpoints = co_await resolve_endpoints(url->host, url->port);
  if (endpoints.empty()) co_return;

  if (!url->tls) {
    PlainWs ws(ex);
    configure(ws, shared);
    co_await asio::async_connect(tcp_layer(ws), endpoints, asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    co_await handshake_and_receive(ws, *url, shared);
    co_return;
  }

  // Made for each attempt, so that a changed trust store is used on the next one.
  ssl::context ctx(ssl::context::tls_client);
  SSL_CTX_set_min_proto_version(ctx.native_handle(), TLS1_2_VERSION);
  ctx.set_default_verify_paths(ec);
  if (ec) co_return;
  ctx.set_verify_mode(ssl::verify_peer);
  TlsWs ws(ex, ctx);
  configure(ws, shared);
  if (!prepare_tls(ws.next_layer(), *url)) co_return;
  co_await asio::async_connect(tcp_layer(ws), endpoints, asio::redirect_error(asio::use_awaitable, ec));
  if (ec) co_return;
  co_await ws.next_layer().async_handshake(ssl::stream_base::client, asio::redirect_error(asio::use_awaitable, ec));
  if (ec) co_return;
  co_await handshake_and_receive(ws, *url, shared);
}

asio::awaitable<void> run_feed(std::string url, state::AppHandle app) {
  auto ex = co_await asio::this_coro::executor;
  asio::steady_timer pause(ex);
  for (;;) {
    set_connected(*app, false);
    try {
      co_await connect_once(url, *app);
    } catch (const std::exception&) {
      // e.g. no memory for a huge message: the connection is dropped like any failure.
      set_connected(*app, false);
    }
    pause.expires_after(kReconnectPause);
    error_code ec;
    co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, ec));
  }
}

}  // namespace

void spawn_feed_task(boost::asio::io_context& io, std::string url, state::AppHandle app) {
  // On a strand: one chain of operations, and name lookups rely on it.
  asio::co_spawn(asio::make_strand(io), run_feed(std::move(url), std::move(app)), asio::detached);
}

}  // namespace feed
