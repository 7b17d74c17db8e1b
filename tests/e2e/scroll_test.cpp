// Page-wise scrolling against a live feed: scrolled fully down, a long list shows its
// last row, whatever the terminal's height.
#include <gtest/gtest.h>

#include <string>

#include "e2e/pty_session.hpp"
#include "e2e/ws_stub.hpp"

namespace {

using namespace std::chrono_literals;

const std::string kPageDown = "\x1b[6~";

TEST(Scroll, FullyDownShowsTheLastRow) {
  e2e::WsStub server({e2e::snapshot_json(50)});  // S000..S049; the cap is 50 rows
  struct Case {
    uint16_t rows;
    int first_shown;  // 50 - page height + 1, the page height being rows - 12
  };
  for (const Case c : {Case{24, 39}, Case{40, 23}, Case{13, 50}}) {
    SCOPED_TRACE(c.rows);
    e2e::SpawnOptions o;
    o.rows = c.rows;
    o.args = {"--url", server.url()};
    e2e::PtySession s(o);
    ASSERT_TRUE(s.wait_for_output("\x1b[?25l"));
    s.send("8");  // all symbols, A to Z
    ASSERT_TRUE(s.wait_for_text("1/50")) << s.screen_text();
    for (int i = 0; i < 50; ++i) s.send(kPageDown);
    const std::string position = std::to_string(c.first_shown) + "/50";
    ASSERT_TRUE(s.wait_for_text(position)) << s.screen_text();

    int footer = -1;
    for (int row = 0; row < s.rows(); ++row)
      if (s.row_text(row).find(position) != std::string::npos) footer = row;
    ASSERT_GT(footer, 0);
    EXPECT_NE(s.row_text(footer - 1).find("S049"), std::string::npos) << s.screen_text();
    const std::string first = "S0" + std::to_string(c.first_shown - 1);
    EXPECT_NE(s.screen_text().find(first), std::string::npos) << s.screen_text();

    s.send("q");
    EXPECT_EQ(s.wait_exit(), 0);
  }
}

}  // namespace
