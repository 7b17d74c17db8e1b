// What received messages do to App, observed through a real connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "feed/decode.hpp"
#include "feed/feed_limits.hpp"
#include "feed_gen.hpp"
#include "feed_harness.hpp"
#include "feed_json.hpp"
#include "ws_test_server.hpp"

namespace nettest {
namespace {

using state::App;

std::set<std::string> keys(const App& app) {
  std::set<std::string> out;
  for (const auto& [k, v] : app.symbol_map) out.insert(k);
  return out;
}

struct Connected {
  WsTestServer server;
  FeedRun feed{server.url()};
  Connected() {
    EXPECT_TRUE(server.wait_for_clients(1));
    EXPECT_TRUE(feed.wait_connected(true));
  }
  bool has(const std::string& sym) const {
    return feed.with_app([&](const App& a) { return a.symbol_map.contains(sym); });
  }
  // Sends a marker update and waits for it: everything sent before has been handled.
  bool sync(const std::string& marker) {
    return server.send_text(update({row(marker, 1)})) &&
           feed.wait_until([&](const App& a) { return a.symbol_map.contains(marker); });
  }
};

TEST(FeedApply, SnapshotsUpdatesAndAfterHours) {
  Connected c;
  auto& [server, feed] = c;

  ASSERT_TRUE(server.send_text(snapshot({row("A", 1), row("B", 2)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return keys(a) == std::set<std::string>{"A", "B"}; }));

  // A snapshot replaces the whole map.
  ASSERT_TRUE(server.send_text(snapshot({row("C", 3)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return keys(a) == std::set<std::string>{"C"}; }));

  // An update replaces listed rows whole, adds new ones and leaves the rest.
  ASSERT_TRUE(server.send_text(snapshot({row("A", 1), row("B", 2, 5.0)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return keys(a) == std::set<std::string>{"A", "B"}; }));
  ASSERT_TRUE(server.send_text(update({row("B", 3), row("D", 4)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.contains("D"); }));
  feed.with_app([](const App& a) {
    EXPECT_EQ(keys(a), (std::set<std::string>{"A", "B", "D"}));
    EXPECT_EQ(a.symbol_map.at("A").last, 1.0);
    EXPECT_EQ(a.symbol_map.at("B").last, 3.0);
    EXPECT_FALSE(a.symbol_map.at("B").chg.has_value()) << "an update row is a whole row";
    EXPECT_EQ(a.symbol_map.at("D").sym, "D");
    return 0;
  });

  // The later of two rows for one symbol wins.
  ASSERT_TRUE(server.send_text(snapshot({row("X", 1), row("X", 2)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return keys(a) == std::set<std::string>{"X"}; }));
  EXPECT_EQ(feed.with_app([](const App& a) { return a.symbol_map.at("X").last; }), 2.0);

  // After-hours lists replace each other in feed order and leave the map alone.
  ASSERT_TRUE(server.send_text(afterhours({ah_row("P", 9), ah_row("Q", 12)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.ah_rows.size() == 2; }));
  feed.with_app([](const App& a) {
    EXPECT_EQ(a.ah_rows[0].sym, "P");
    EXPECT_EQ(a.ah_rows[1].sym, "Q");
    EXPECT_EQ(keys(a), std::set<std::string>{"X"});
    return 0;
  });
  ASSERT_TRUE(server.send_text(afterhours({})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.ah_rows.empty(); }));
  EXPECT_EQ(feed.with_app([](const App& a) { return keys(a); }), std::set<std::string>{"X"});
  EXPECT_EQ(server.clients(), 1u);
}

TEST(FeedApply, MessagesThatDoNotDecodeAreDroppedAndTheConnectionStays) {
  Connected c;
  auto& [server, feed] = c;
  ASSERT_TRUE(server.send_text(snapshot({row("A", 1), row("B", 2)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.size() == 2; }));
  ASSERT_TRUE(server.send_text(afterhours({ah_row("P", 9)})));

  const std::string bad_row = R"({"sym":"E","last":1,"vol":1.5,"hod":1,"hodc":0,"dvol":1,"tc":1,"vpm":1})";
  for (const std::string& text : {
           std::string("not json at all"),
           snapshot({row("C", 1), bad_row}),  // one bad row spoils the snapshot
           std::string(R"({"type":"ping"})"),
           std::string(R"({"type":"Snapshot","symbols":[]})"),
           snapshot({}) + " " + snapshot({}),
           std::string(R"({"type":"afterhours","symbols":[{"sym":"P"}]})"),
       }) {
    ASSERT_TRUE(server.send_text(text));
  }
  // Binary payloads must be UTF-8 as well: this one would otherwise empty the map.
  ASSERT_TRUE(server.send_binary(std::string(R"({"type":"snapshot","symbols":[]})") + "\xff"));
  ASSERT_TRUE(server.send_binary(R"({"type":"snapshot","symbols":[)" + row("\xc3\x28", 1) + "]}"));
  ASSERT_TRUE(c.sync("M"));

  feed.with_app([](const App& a) {
    EXPECT_EQ(keys(a), (std::set<std::string>{"A", "B", "M"}));
    EXPECT_EQ(a.ah_rows.size(), 1u);
    EXPECT_EQ(a.ah_rows.empty() ? "" : a.ah_rows[0].sym, "P");
    EXPECT_TRUE(a.connected);
    return 0;
  });
  EXPECT_EQ(server.clients(), 1u);
  EXPECT_FALSE(server.wait_for_end(0, 0s).has_value());
}

TEST(FeedApply, BinaryAndControlFramePayloadsDecodeLikeText) {
  Connected c;
  auto& [server, feed] = c;

  ASSERT_TRUE(server.send_binary(update({row("BIN", 1)})));
  ASSERT_TRUE(server.send_ping(tiny_update("PI")));
  ASSERT_TRUE(server.send_pong(tiny_update("PO")));
  ASSERT_TRUE(server.send_ping(""));
  ASSERT_TRUE(server.send_ping("\xff\xfe"));
  ASSERT_TRUE(server.send_ping(R"({"type":"snapshot","symbols":[]})"));  // applied: empties the map
  ASSERT_TRUE(c.sync("M"));
  EXPECT_EQ(feed.with_app([](const App& a) { return keys(a); }), std::set<std::string>{"M"});

  ASSERT_TRUE(server.send_binary(update({row("BIN", 1)})));
  ASSERT_TRUE(server.send_ping(tiny_update("PI")));
  ASSERT_TRUE(server.send_pong(tiny_update("PO")));
  ASSERT_TRUE(c.sync("N"));
  EXPECT_EQ(feed.with_app([](const App& a) { return keys(a); }),
            (std::set<std::string>{"M", "BIN", "PI", "PO", "N"}));

  // The close reason goes through decoding too, before the connection ends.
  ASSERT_TRUE(server.close(tiny_update("CL")));
  ASSERT_TRUE(feed.wait_connected(false));
  EXPECT_TRUE(c.has("CL"));
}

// A frame never sees a snapshot half applied, and a smaller snapshot keeps the table.
TEST(FeedApply, SnapshotsAreAppliedWholeAndKeepTheTable) {
  Connected c;
  auto& [server, feed] = c;
  auto rows_of = [](size_t n, const char* prefix) {
    std::vector<std::string> rows;
    for (size_t i = 0; i < n; ++i) rows.push_back(row(prefix + std::to_string(i), 1));
    return rows;
  };
  const std::string big = snapshot(rows_of(900, "B"));
  const std::string small = snapshot(rows_of(600, "S"));

  std::atomic<bool> stop = false;
  std::atomic<size_t> torn = 0, looks = 0;
  std::thread reader([&] {
    while (!stop) {
      feed.with_app([&](const App& a) {
        const size_t n = a.symbol_map.size();
        if (n != 0 && n != 600 && n != 900 && n != 1) ++torn;
        if (n == 900 && !a.symbol_map.contains("B899")) ++torn;
        if (n == 600 && !a.symbol_map.contains("S599")) ++torn;
        return ++looks;
      });
    }
  });
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(server.send_text(big));
    ASSERT_TRUE(server.send_text(small));
  }
  ASSERT_TRUE(server.send_text(big));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.contains("B899"); }));
  const size_t buckets = feed.with_app([](const App& a) { return a.symbol_map.bucket_count(); });
  ASSERT_TRUE(server.send_text(snapshot({row("ONE", 1)})));
  ASSERT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.size() == 1; }));
  stop = true;
  reader.join();
  EXPECT_EQ(torn, 0u) << "of " << looks << " looks";
  EXPECT_EQ(feed.with_app([](const App& a) { return a.symbol_map.bucket_count(); }), buckets);
}

TEST(FeedApply, HundredThousandRowSnapshotFits) {
  Connected c;
  auto& [server, feed] = c;
  const std::string text = bench_gen::to_json(bench_gen::generate_rows(100'000, 7));
  ASSERT_LT(text.size(), feed::kReadMessageMax);
  if (text.size() > feed::kMaxMessageBytes) GTEST_SKIP() << "the decoder refuses messages of this size";
  ASSERT_TRUE(server.send_text(text));
  EXPECT_TRUE(feed.wait_until([](const App& a) { return a.symbol_map.size() == 100'000; }, 120s));
  EXPECT_TRUE(feed.connected());
}

}  // namespace
}  // namespace nettest
