// wss: the certificate chain and the host name (or IP address) are verified, and a
// failure never connects.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "feed_harness.hpp"
#include "feed_json.hpp"
#include "test_certs.hpp"
#include "ws_test_server.hpp"

namespace nettest {
namespace {

using state::App;

struct TlsCase {
  const char* what;
  bool trusted_ca;
  std::vector<std::string> dns;
  std::vector<std::string> ips;
  const char* url_host;
  bool connects;
  const char* sni;  // what the server should see when it connects
};

TEST(FeedTls, VerifiesChainAndHostBeforeConnecting) {
  TestPki trusted, stranger;
  // OpenSSL's default verify paths read this; the feed makes its context per attempt.
  ::setenv("SSL_CERT_FILE", trusted.ca_file().c_str(), 1);
  ::setenv("SSL_CERT_DIR", "/nonexistent", 1);

  const std::vector<TlsCase> cases = {
      {"name", true, {"localhost"}, {"127.0.0.1"}, "localhost", true, "localhost"},
      {"IP literal", true, {"localhost"}, {"127.0.0.1"}, "127.0.0.1", true, ""},
      {"untrusted CA", false, {"localhost"}, {"127.0.0.1"}, "localhost", false, ""},
      {"name mismatch", true, {"other.example"}, {"127.0.0.1"}, "localhost", false, ""},
      {"IP mismatch", true, {"localhost"}, {"127.0.0.2"}, "127.0.0.1", false, ""},
  };
  std::vector<std::unique_ptr<WsTestServer>> servers;
  std::vector<std::unique_ptr<FeedRun>> feeds;
  for (const auto& c : cases) {
    TestPki& ca = c.trusted_ca ? trusted : stranger;
    ServerOptions options;
    options.tls = ca.issue("server", c.dns, c.ips);
    servers.push_back(std::make_unique<WsTestServer>(options));
    const std::string url = "wss://" + std::string(c.url_host) + ":" + std::to_string(servers.back()->port()) + "/ws";
    feeds.push_back(std::make_unique<FeedRun>(url));
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.what);
    auto& server = *servers[i];
    auto& feed = *feeds[i];
    if (c.connects) {
      ASSERT_TRUE(server.wait_for_clients(1));
      EXPECT_TRUE(feed.wait_connected(true));
      EXPECT_EQ(server.handshake(0).sni, c.sni);
      ASSERT_TRUE(server.send_text(snapshot({row("T", 1)})));
      EXPECT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.contains("T"); }));
    } else {
      EXPECT_TRUE(server.wait_for_tls_failures(1));
    }
  }
  std::this_thread::sleep_for(500ms);  // a late success would show by now
  for (size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].connects) continue;
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(servers[i]->clients(), 0u);
    EXPECT_FALSE(feeds[i]->connected());
  }
}

}  // namespace
}  // namespace nettest
