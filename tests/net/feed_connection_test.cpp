// The feed task's connection cycle: connecting, ending, the 5 s pause, and quitting.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "feed/feed_limits.hpp"
#include "feed_harness.hpp"
#include "feed_json.hpp"
#include "ws_test_server.hpp"

namespace nettest {
namespace {

using state::App;
using std::chrono::duration_cast;
using std::chrono::milliseconds;

// Quitting is the runtime's stop and join; it must not wait for the network.
constexpr auto kPromptQuit = 500ms;

std::set<std::string> keys(const App& app) {
  std::set<std::string> out;
  for (const auto& [k, v] : app.symbol_map) out.insert(k);
  return out;
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

// A loopback listener that never accepts. Filled, its accept queue makes the kernel
// drop further SYNs, so a connect to it never completes; unfilled, a connect completes
// but nothing ever answers.
class SilentListener {
 public:
  explicit SilentListener(bool fill) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd_, 0) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      throw std::runtime_error("silent listener");
    port_ = ntohs(addr.sin_port);
    if (!fill) return;
    for (int i = 0; i < 64; ++i) {
      const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      fillers_.push_back(s);
      ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
      pollfd p{s, POLLOUT, 0};
      if (::poll(&p, 1, 300) == 0) return;  // this one hangs: the queue is full
    }
    throw std::runtime_error("silent listener: accept queue never filled");
  }
  ~SilentListener() {
    for (int s : fillers_) ::close(s);
    ::close(fd_);
  }
  std::string url() const { return "ws://127.0.0.1:" + std::to_string(port_) + "/ws"; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::vector<int> fillers_;
};

// Bound but not listening: connects are refused until start_listening().
ServerOptions refusing() {
  ServerOptions options;
  options.listen = false;
  return options;
}

TEST(FeedConnection, HandshakeCarriesOnlyTheHeadersRfc6455Requires) {
  WsTestServer server;
  FeedRun feed(server.url("/ws?token=a%20b&x=1"));
  ASSERT_TRUE(server.wait_for_clients(1));
  EXPECT_TRUE(feed.wait_connected(true));
  const Handshake hs = server.handshake(0);
  EXPECT_EQ(hs.method, "GET");
  EXPECT_EQ(hs.target, "/ws?token=a%20b&x=1");
  std::set<std::string> names;
  for (const auto& [name, value] : hs.headers) {
    names.insert(lower(name));
    if (lower(name) == "host") {
      EXPECT_EQ(value, "127.0.0.1:" + std::to_string(server.port()));
    } else if (lower(name) == "upgrade") {
      EXPECT_EQ(lower(value), "websocket");
    } else if (lower(name) == "connection") {
      EXPECT_EQ(lower(value), "upgrade");
    } else if (lower(name) == "sec-websocket-version") {
      EXPECT_EQ(value, "13");
    }
  }
  EXPECT_EQ(hs.headers.size(), 5u);
  EXPECT_EQ(names, (std::set<std::string>{"host", "upgrade", "connection", "sec-websocket-key",
                                          "sec-websocket-version"}));
}

TEST(FeedConnection, Ipv6LiteralUrl) {
  std::unique_ptr<WsTestServer> server;
  try {
    ServerOptions options;
    options.address = "::1";
    server = std::make_unique<WsTestServer>(options);
  } catch (const std::exception&) {
    GTEST_SKIP() << "no IPv6 loopback here";
  }
  FeedRun feed(server->url());
  ASSERT_TRUE(server->wait_for_clients(1));
  EXPECT_TRUE(feed.wait_connected(true));
  for (const auto& [name, value] : server->handshake(0).headers) {
    if (lower(name) == "host") {
      EXPECT_EQ(value, "[::1]:" + std::to_string(server->port()));
    }
  }
}

TEST(FeedConnection, UrlsThatCannotWorkNeverConnect) {
  WsTestServer server;
  const std::string hostport = "127.0.0.1:" + std::to_string(server.port());
  std::vector<std::unique_ptr<FeedRun>> feeds;
  const std::vector<std::string> urls = {"http://" + hostport + "/ws", hostport + "/ws", "ws:///ws",
                                         "ws://" + hostport + ":1/"};
  for (const std::string& url : urls)
    feeds.push_back(std::make_unique<FeedRun>(url));
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(server.tcp_accepts(), 0u);
  for (const auto& f : feeds) EXPECT_FALSE(f->connected());
}

// The header of an unmasked, final text frame of `length` payload bytes.
std::string frame_header(uint64_t length) {
  std::string h = {static_cast<char>(0x81), static_cast<char>(127)};
  for (int shift = 56; shift >= 0; shift -= 8) h.push_back(static_cast<char>((length >> shift) & 0xff));
  return h;
}

// How a test ends the connection the feed task holds.
enum class Ending { CloseFrame, Eof, Reset, InvalidUtf8Text, Oversized };

std::string ending_name(const ::testing::TestParamInfo<Ending>& info) {
  switch (info.param) {
    case Ending::CloseFrame: return "ServerClose";
    case Ending::Eof: return "ServerEndsTcp";
    case Ending::Reset: return "Reset";
    case Ending::InvalidUtf8Text: return "InvalidUtf8Text";
    case Ending::Oversized: return "Oversized";
  }
  return "?";
}

class FeedEnding : public ::testing::TestWithParam<Ending> {};

TEST_P(FeedEnding, DisconnectsKeepsRowsAndRetriesAbout5sLater) {
  WsTestServer server;
  FeedRun feed(server.url());
  ASSERT_TRUE(server.wait_for_clients(1));
  ASSERT_TRUE(feed.wait_connected(true));
  ASSERT_TRUE(server.send_text(snapshot({row("A", 1), row("B", 2)})));
  ASSERT_TRUE(server.send_text(afterhours({ah_row("P", 9)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.size() == 2 && a.ah_rows.size() == 1; }));

  switch (GetParam()) {
    case Ending::CloseFrame: ASSERT_TRUE(server.close("bye")); break;
    case Ending::Eof: server.drop(); break;
    case Ending::Reset: server.reset(); break;
    case Ending::InvalidUtf8Text: ASSERT_TRUE(server.send_raw(raw_text_frame("ok \xff\xfe"))); break;
    case Ending::Oversized:
      // A text frame announcing one byte beyond the limit: refused from its header.
      ASSERT_TRUE(server.send_raw(frame_header(feed::kReadMessageMax + 1) + "{\"type\":"));
      break;
  }
  EXPECT_TRUE(feed.wait_connected(false, 10s));
  const auto ended = Clock::now();
  EXPECT_TRUE(server.wait_for_end(0, 10s).has_value());
  feed.with_app([](const App& a) {
    EXPECT_EQ(keys(a), (std::set<std::string>{"A", "B"}));
    EXPECT_EQ(a.ah_rows.size(), 1u);
    return 0;
  });

  ASSERT_TRUE(server.wait_for_clients(2, 15s));
  const auto pause = server.handshake_time(1) - ended;
  EXPECT_GE(pause, 4500ms);
  EXPECT_LE(pause, 7000ms);
  EXPECT_TRUE(feed.wait_connected(true));
  // Reconnected, the old rows stay until the next messages replace them.
  EXPECT_EQ(feed.with_app([](const App& a) { return keys(a); }), (std::set<std::string>{"A", "B"}));
  ASSERT_TRUE(server.send_text(snapshot({row("C", 3)})));
  EXPECT_TRUE(feed.wait_until([](const App& a) { return keys(a) == std::set<std::string>{"C"}; }));
}

INSTANTIATE_TEST_SUITE_P(Endings, FeedEnding,
                         ::testing::Values(Ending::CloseFrame, Ending::Eof, Ending::Reset, Ending::InvalidUtf8Text,
                                           Ending::Oversized),
                         ending_name);

TEST(FeedConnection, WithNoServerAttemptsRepeatEvery5s) {
  WsTestServer server(refusing());  // bound: connects are refused
  const auto t0 = Clock::now();
  FeedRun feed(server.url());
  std::this_thread::sleep_for(1s);
  EXPECT_FALSE(feed.connected());
  EXPECT_TRUE(feed.with_app([](const App& a) { return a.symbol_map.empty(); }));
  server.start_listening();
  ASSERT_TRUE(server.wait_for_clients(1, 10s));
  const auto first = server.handshake_time(0) - t0;
  EXPECT_GE(first, 4500ms);
  EXPECT_LE(first, 7000ms);
  EXPECT_TRUE(feed.wait_connected(true));
}

TEST(FeedQuit, WhileConnectedDropsTheConnectionWithoutClosingHandshake) {
  WsTestServer server;
  FeedRun feed(server.url());
  ASSERT_TRUE(server.wait_for_clients(1));
  ASSERT_TRUE(feed.wait_connected(true));
  ASSERT_TRUE(server.send_text(snapshot({row("A", 1)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.size() == 1; }));
  const auto took = feed.quit();
  EXPECT_LT(took, kPromptQuit) << duration_cast<milliseconds>(took).count() << " ms";
  const auto end = server.wait_for_end(0, 5s);
  ASSERT_TRUE(end.has_value());
  EXPECT_NE(*end, ClientEnd::CloseFrame);
}

TEST(FeedQuit, WhileConnectingToAnAddressThatNeverAnswers) {
  for (const bool syn_dropped : {true, false}) {
    SCOPED_TRACE(syn_dropped ? "SYN dropped" : "handshake never answered");
    SilentListener silent(syn_dropped);
    FeedRun feed(silent.url());
    std::this_thread::sleep_for(700ms);
    EXPECT_FALSE(feed.connected());
    const auto took = feed.quit();
    EXPECT_LT(took, kPromptQuit) << duration_cast<milliseconds>(took).count() << " ms";
  }
}

TEST(FeedQuit, DuringThePause) {
  WsTestServer server(refusing());
  FeedRun feed(server.url());
  std::this_thread::sleep_for(700ms);  // refused at once, now pausing
  const auto took = feed.quit();
  EXPECT_LT(took, kPromptQuit) << duration_cast<milliseconds>(took).count() << " ms";
}

}  // namespace
}  // namespace nettest
