// feedsim, the bundled scanner server, run as a program and read by the feed task.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.hpp"
#include "feed_harness.hpp"
#include "test_certs.hpp"

namespace nettest {
namespace {

using state::App;
using state::SymbolMap;

// A feedsim on an ephemeral loopback port.
class Feedsim {
 public:
  explicit Feedsim(std::vector<std::string> args) {
    args.insert(args.end(), {"--host", "127.0.0.1", "--port", "0"});
    child_ = std::make_unique<ChildProcess>(FEEDSIM_BINARY, args);
    const auto line = child_->wait_for_stderr("listening on ", 20s);
    if (!line) throw std::runtime_error("feedsim did not start: " + child_->stderr_text());
    const size_t at = line->find("listening on ") + 13;
    url_ = line->substr(at, line->find(' ', at) - at);
    port_ = std::stoi(url_.substr(url_.rfind(':') + 1));
  }
  const std::string& url() const { return url_; }
  int port() const { return port_; }
  ChildProcess& process() { return *child_; }

 private:
  std::unique_ptr<ChildProcess> child_;
  std::string url_;
  int port_ = 0;
};

// A plain TCP client for what the feed task never does: other paths, and not reading.
class RawClient {
 public:
  explicit RawClient(int port, int rcvbuf = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (rcvbuf > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("connect");
  }
  ~RawClient() { ::close(fd_); }
  void send(const std::string& s) { ASSERT_EQ(::send(fd_, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size())); }
  // Reads until the response head ends, the peer closes or the time is up.
  std::string read_head(std::chrono::milliseconds timeout = 5000ms) {
    std::string got;
    while (got.find("\r\n\r\n") == std::string::npos) {
      char c;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, int(timeout.count())) <= 0 || ::recv(fd_, &c, 1, 0) != 1) break;
      got.push_back(c);
    }
    return got;
  }
  // True when the peer ends the connection within the time, whatever it sent first.
  bool drain_until_closed(std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    char buf[65536];
    while (Clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return true;
    }
    return false;
  }

 private:
  int fd_ = -1;
};

std::string upgrade_request(int port, const std::string& path) {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
         "Sec-WebSocket-Version: 13\r\n\r\n";
}

bool non_ascii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return true;
  return false;
}

TEST(Feedsim, ServesARealisticMarketAndStopsCleanlyOnSignal) {
  Feedsim sim({"--rate", "0", "--ping-interval", "0"});
  FeedRun feed(sim.url());
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.size() == 3000 && a.ah_rows.size() == 20; }, 20s));
  EXPECT_TRUE(feed.connected());
  feed.with_app([](const App& a) {
    std::set<std::string> sectors;
    size_t unnamed = 0, no_sector = 0, no_float = 0, no_rvol = 0, no_mcap = 0, untraded = 0, highs = 0,
           non_ascii_names = 0, up = 0, down = 0, gap_up = 0, gap_down = 0;
    for (const auto& [sym, r] : a.symbol_map) {
      EXPECT_EQ(sym, r.sym);
      EXPECT_FALSE(sym.empty());
      if (r.sector) sectors.insert(*r.sector);
      unnamed += !r.name;
      no_sector += !r.sector;
      no_float += !r.float_;
      no_rvol += !r.rvol;
      no_mcap += !r.mcap;
      if (r.name && non_ascii(*r.name)) ++non_ascii_names;
      if (r.last == 0) {
        ++untraded;
        EXPECT_FALSE(r.chg.has_value()) << sym;
        continue;
      }
      EXPECT_GE(r.hod, r.last) << sym;
      EXPECT_GT(r.vol, 0) << sym;
      EXPECT_NEAR(r.dvol / std::max<double>(1, double(r.vol)), r.last, r.last * 0.6) << sym << ": dvol from price";
      highs += r.hodc > 0;
      up += r.chg.value_or(0) > 0;
      down += r.chg.value_or(0) < 0;
      gap_up += r.gap.value_or(0) > 0;
      gap_down += r.gap.value_or(0) < 0;
    }
    EXPECT_EQ(sectors.size(), 12u);
    bool long_sector = false, non_ascii_sector = false;
    for (const auto& s : sectors) {
      long_sector |= s.size() > 12;
      non_ascii_sector |= non_ascii(s);
    }
    EXPECT_TRUE(long_sector);
    EXPECT_TRUE(non_ascii_sector);
    for (size_t n : {unnamed, no_sector, no_float, no_rvol, no_mcap, untraded, non_ascii_names}) {
      EXPECT_GT(n, 0u);
      EXPECT_LT(n, 900u);
    }
    for (size_t n : {highs, up, down, gap_up, gap_down}) EXPECT_GT(n, 100u);
    for (size_t i = 1; i < a.ah_rows.size(); ++i) EXPECT_GE(a.ah_rows[i - 1].chg, a.ah_rows[i].chg);
    for (const auto& r : a.ah_rows) EXPECT_GT(r.chg, 0);
    return 0;
  });

  sim.process().signal(SIGTERM);
  EXPECT_EQ(sim.process().wait_exit(10s), 0);
  EXPECT_TRUE(feed.wait_connected(false, 5s));
}

TEST(Feedsim, TheSameSeedGivesTheSameMarket) {
  const std::vector<std::string> quiet = {"--rate", "0", "--ping-interval", "0", "--snapshot-interval", "0",
                                          "--symbols", "500"};
  auto with_seed = [&](const char* seed) {
    auto args = quiet;
    args.insert(args.end(), {"--seed", seed});
    return std::make_unique<Feedsim>(args);
  };
  auto a = with_seed("5"), b = with_seed("5"), c = with_seed("6");
  FeedRun a1(a->url()), a2(a->url()), b1(b->url()), c1(c->url());
  auto filled = [](const App& app) { return app.symbol_map.size() == 500 && !app.ah_rows.empty(); };
  for (FeedRun* f : {&a1, &a2, &b1, &c1}) ASSERT_TRUE(f->wait_until(filled, 20s));
  auto state_of = [](const FeedRun& f) {
    return f.with_app([](const App& app) {
      return std::make_pair(std::map<std::string, state::SymbolRow>(app.symbol_map.begin(), app.symbol_map.end()),
                            app.ah_rows);
    });
  };
  const auto sa1 = state_of(a1);
  EXPECT_TRUE(sa1 == state_of(a2));
  EXPECT_TRUE(sa1 == state_of(b1));
  EXPECT_FALSE(sa1 == state_of(c1));
}

// Updates, pings, fresh snapshots and every kind of droppable garbage, at a high pace:
// the client stays connected and always holds the whole market.
TEST(Feedsim, BusyFeedWithGarbageKeepsTheClientWhole) {
  Feedsim sim({"--symbols", "800", "--rate", "200", "--batch", "20", "--ping-interval", "0.05",
               "--snapshot-interval", "0.5", "--garbage-every", "0.05"});
  FeedRun feed(sim.url());
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.size() == 800; }, 20s));
  const auto first = feed.with_app([](const App& a) { return a.symbol_map; });
  size_t wrong_size = 0;
  const auto end = Clock::now() + 2500ms;
  while (Clock::now() < end) {
    feed.with_app([&](const App& a) { return wrong_size += a.symbol_map.size() != 800 || !a.connected; });
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(wrong_size, 0u);
  EXPECT_TRUE(feed.with_app([&](const App& a) { return a.symbol_map != first; })) << "updates change rows";
  EXPECT_FALSE(sim.process().wait_for_stderr("disconnected", 0s).has_value()) << sim.process().stderr_text();
}

TEST(Feedsim, FaultsThatEndTheConnection) {
  Feedsim drops({"--symbols", "50", "--drop-every", "1"});
  Feedsim oversize({"--symbols", "50", "--oversize-every", "1"});
  FeedRun a(drops.url()), b(oversize.url());
  for (FeedRun* f : {&a, &b}) {
    EXPECT_TRUE(f->wait_connected(true, 10s));
    EXPECT_TRUE(f->wait_until([](const App& app) { return app.symbol_map.size() == 50; }));
  }
  for (FeedRun* f : {&a, &b}) {
    EXPECT_TRUE(f->wait_connected(false, 20s));
    EXPECT_EQ(f->with_app([](const App& app) { return app.symbol_map.size(); }), 50u);
  }
}

TEST(Feedsim, OtherPathsAndPlainHttpAreRefused) {
  Feedsim sim({"--symbols", "10"});
  {
    RawClient c(sim.port());
    c.send(upgrade_request(sim.port(), "/other"));
    EXPECT_EQ(c.read_head().substr(0, 12), "HTTP/1.1 404");
  }
  {
    RawClient c(sim.port());
    c.send("GET /ws HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(c.read_head().substr(0, 12), "HTTP/1.1 426");
  }
  {
    RawClient c(sim.port());
    c.send(upgrade_request(sim.port(), "/ws?x=1"));
    EXPECT_EQ(c.read_head().substr(0, 12), "HTTP/1.1 101");
  }
  const std::string other = sim.url().substr(0, sim.url().rfind('/')) + "/other";
  FeedRun feed(other);
  EXPECT_TRUE(sim.process().wait_for_stderr("refused: no feed at /other", 10s).has_value());
  EXPECT_FALSE(feed.connected());
}

TEST(Feedsim, AClientThatDoesNotReadIsDropped) {
  // About 0.5 MB/s against a limit of 1 MB: the slow client is dropped within about ten
  // seconds (the socket buffers fill first), and the reader would have to stall for two
  // seconds to be dropped too (a sanitizer build on a loaded machine stalls for less).
  Feedsim sim({"--symbols", "200", "--rate", "10", "--batch", "200", "--max-queue", "1000000"});
  FeedRun reader(sim.url());  // a client that keeps up, for comparison
  // Connected first: on a loaded machine its connect may otherwise still be under way.
  ASSERT_TRUE(reader.wait_until([](const App& a) { return a.connected && a.symbol_map.size() == 200; }, 20s));
  RawClient slow(sim.port(), 4096);
  slow.send(upgrade_request(sim.port(), "/ws"));
  ASSERT_EQ(slow.read_head().substr(0, 12), "HTTP/1.1 101");
  const auto line = sim.process().wait_for_stderr("dropped: too slow", 30s);
  ASSERT_TRUE(line.has_value()) << sim.process().stderr_text();
  EXPECT_TRUE(slow.drain_until_closed(30000ms));
  EXPECT_TRUE(reader.connected());
  const std::string log = sim.process().stderr_text();
  EXPECT_EQ(log.find("dropped: too slow"), log.rfind("dropped: too slow")) << log;  // only the slow one
}

TEST(Feedsim, ServesWssWithAGivenCertificate) {
  TestPki pki;
  const TlsFiles files = pki.issue("feedsim", {"localhost"}, {"127.0.0.1"});
  ::setenv("SSL_CERT_FILE", pki.ca_file().c_str(), 1);
  Feedsim sim({"--symbols", "100", "--tls-cert", files.cert_chain, "--tls-key", files.key});
  ASSERT_EQ(sim.url().substr(0, 6), "wss://");
  FeedRun feed("wss://localhost:" + std::to_string(sim.port()) + "/ws");
  EXPECT_TRUE(feed.wait_until([](const App& a) { return a.connected && a.symbol_map.size() == 100; }, 20s));
}

TEST(Feedsim, CommandLine) {
  {
    ChildProcess help(FEEDSIM_BINARY, {"--help"});
    ASSERT_EQ(help.wait_exit(10s), 0);
    const std::string text = help.stdout_text();
    for (const char* option : {"--host", "--port", "--path", "--symbols", "--seed", "--rate", "--batch",
                               "--afterhours", "--ping-interval", "--snapshot-interval", "--tls-cert", "--tls-key",
                               "--max-queue", "--drop-every", "--garbage-every", "--oversize-every",
                               "--oversize-bytes", "--quiet", "--version"})
      EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--symbols", "many"}, {"--tls-cert", FEEDSIM_BINARY}, {"--rate", "-1"}, {"--path", "ws"}, {"--nope"}}) {
    ChildProcess p(FEEDSIM_BINARY, bad);
    EXPECT_EQ(p.wait_exit(10s), 2) << bad[0];
  }
  ChildProcess taken(FEEDSIM_BINARY, {"--host", "203.0.113.1", "--port", "1"});  // not an address of ours
  EXPECT_EQ(taken.wait_exit(10s), 1);
}

}  // namespace
}  // namespace nettest
