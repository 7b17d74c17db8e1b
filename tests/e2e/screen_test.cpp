// The real program's screen, read through a terminal emulator: start-up without a server,
// the live scanner after a snapshot, tab switches and a search.
#include <gtest/gtest.h>

#include <string>

#include "e2e/pty_session.hpp"
#include "e2e/ws_stub.hpp"

namespace {

using namespace std::chrono_literals;

constexpr int kTabBar = 7;
constexpr int kHeader = 9;
constexpr int kFirstRow = 10;

const std::string kSnapshot = R"({"type":"snapshot","symbols":[
 {"sym":"ABCD","last":189.5,"chg":2.345,"vol":1234567,"rvol":2.5,"hod":190.25,"hodc":3,"dvol":234000000,"tc":50,"vpm":12345,"sector":"Technology Services"},
 {"sym":"MSFT","name":"Aardvark Inc","last":12.3,"chg":-1.25,"vol":2000000,"hod":13,"hodc":0,"dvol":24600000,"tc":900,"vpm":10,"sector":"Finance"},
 {"sym":"ZZZ","last":0.5,"vol":5000,"hod":0.6,"hodc":12,"dvol":2500,"tc":1,"vpm":1},
 {"sym":"DEAD","last":0,"chg":9.0,"vol":99999999,"hod":1,"hodc":0,"dvol":1,"tc":1,"vpm":1}
]})";
const std::string kAfterHours = R"({"type":"afterhours","symbols":[
 {"sym":"WXYZ","last":0.8125,"prev":0.842,"chg":-3.5,"vol":850,"dvol":690.5}
]})";

e2e::SpawnOptions options(const std::string& url) {
  e2e::SpawnOptions o;
  o.cols = 120;
  o.rows = 24;
  o.args = {"--url", url};
  return o;
}

TEST(Screen, StartsDisconnectedAndEmptyWithoutAServer) {
  e2e::PtySession s(options("ws://127.0.0.1:1/ws"));
  // The whole first frame: it ends with the bottom border and the cursor hidden.
  ASSERT_TRUE(s.wait_until([&] {
    return s.row_text(22).find("0/0") != std::string::npos && s.row_text(23).rfind("└", 0) == 0 && !s.cursor_visible();
  })) << s.screen_text();
  EXPECT_EQ(s.row_text(0).rfind("┌ Ambertide Scanner ───", 0), 0u);
  EXPECT_EQ(s.row_text(1).rfind("│● Disconnected  │  0 symbols  │  ▲ 0  ▼ 0  ─ 0 ", 0), 0u);
  EXPECT_EQ(s.cell(1, 1).fg, e2e::CellColor::indexed(1));  // red dot
  EXPECT_EQ(s.row_text(2).rfind("│Sectors:  no data ", 0), 0u);
  EXPECT_EQ(s.row_text(3).rfind("│$ Leaders:  no data ", 0), 0u);
  EXPECT_EQ(s.row_text(4).rfind("│HOD Breaks:  0 symbols ", 0), 0u);
  EXPECT_EQ(s.row_text(kTabBar).rfind(
                "│[1:Volume] [2:Gainers] [3:Losers] [4:Gaps] [5:Active] [6:HOD] [7:Vol/Min] [8:All] [9:AH] ", 0),
            0u);
  EXPECT_EQ(s.row_text(kHeader).rfind("│ Sym     Last     Chg%     Vol      RVol    Gap%     HOD      HOD#    "
                                      "$Vol     VPM    ",
                                      0),
            0u);
  EXPECT_EQ(s.row_text(22).rfind("│1-9:tabs  ↑↓jk:scroll  PgUp/PgDn:page  /:search  Esc:clear  q:quit  0/0 ", 0), 0u);
  EXPECT_EQ(s.row_text(23).rfind("└───", 0), 0u);
  EXPECT_FALSE(s.cursor_visible());
  s.send("q");
  EXPECT_EQ(s.wait_exit(), 0);
}

TEST(Screen, ShowsTheLiveScannerAfterASnapshot) {
  e2e::WsStub server({kSnapshot, kAfterHours});
  e2e::PtySession s(options(server.url()));
  ASSERT_TRUE(s.wait_for_text("1/3")) << s.screen_text();

  EXPECT_EQ(s.row_text(1).rfind("│● Connected  │  3 symbols  │  ▲ 2  ▼ 1  ─ 0 ", 0), 0u) << s.screen_text();
  EXPECT_EQ(s.cell(1, 1).fg, e2e::CellColor::indexed(2));  // green dot
  EXPECT_EQ(s.row_text(2).rfind("│Sectors:  Technology S +2.3%  ·  Finance -1.2% ", 0), 0u) << s.row_text(2);
  EXPECT_EQ(s.row_text(3).rfind("│$ Leaders:  ABCD $234.0M  ·  MSFT $24.6M  ·  ZZZ $2K ", 0), 0u) << s.row_text(3);
  EXPECT_EQ(s.row_text(4).rfind("│HOD Breaks:  2 symbols  ·  Top: ZZZ 12x  ABCD 3x ", 0), 0u) << s.row_text(4);

  // Volume tab: highest volume first; DEAD has no price and is never listed.
  EXPECT_EQ(s.row_text(kFirstRow).rfind("│ MSFT      12.30    -1.2%     2.0M       -        -    13.00       0   $24.6M      10", 0), 0u)
      << s.screen_text();
  EXPECT_EQ(s.row_text(kFirstRow + 1).rfind("│ ABCD     189.50    +2.3%     1.2M    2.5x        -   190.25       3  $234.0M     12K", 0), 0u)
      << s.screen_text();
  EXPECT_EQ(s.row_text(kFirstRow + 2).rfind("│ ZZZ      0.5000        -       5K       -        -   0.6000      12      $2K       1", 0), 0u)
      << s.screen_text();
  EXPECT_EQ(s.screen_text().find("DEAD"), std::string::npos);
  // Colours: red change, stripe behind the second row, bold white symbol.
  EXPECT_EQ(s.cell(kFirstRow, 21).fg, e2e::CellColor::indexed(1));
  EXPECT_EQ(s.cell(kFirstRow, 5).bg, e2e::CellColor{});
  EXPECT_EQ(s.cell(kFirstRow + 1, 5).bg, e2e::CellColor::rgb(20, 20, 28));
  EXPECT_EQ(s.cell(kFirstRow + 1, 2).fg, e2e::CellColor::indexed(15));
  EXPECT_TRUE(s.cell(kFirstRow + 1, 2).bold);
  EXPECT_EQ(s.cell(kFirstRow + 1, 21).fg, e2e::CellColor::indexed(2));
  EXPECT_EQ(s.cell(kFirstRow + 1, 39).fg, e2e::CellColor::indexed(6));  // rvol 2.5 in cyan
  s.send("q");
  EXPECT_EQ(s.wait_exit(), 0);
}

TEST(Screen, SwitchesTabsAndSearches) {
  e2e::WsStub server({kSnapshot, kAfterHours});
  e2e::PtySession s(options(server.url()));
  ASSERT_TRUE(s.wait_for_text("1/3")) << s.screen_text();

  // Gainers: ABCD alone; its label is black on white.
  s.send("2");
  ASSERT_TRUE(s.wait_for_text("1/1")) << s.screen_text();
  EXPECT_EQ(s.row_text(kFirstRow).rfind("│ ABCD ", 0), 0u);
  EXPECT_EQ(s.cell(kTabBar, 13).bg, e2e::CellColor::indexed(15));
  EXPECT_EQ(s.cell(kTabBar, 13).fg, e2e::CellColor::indexed(0));
  EXPECT_EQ(s.cell(kTabBar, 2).fg, e2e::CellColor::indexed(8));  // inactive label in dark gray

  // All, in byte order.
  s.send("8");
  ASSERT_TRUE(s.wait_until([&] { return s.row_text(kFirstRow + 2).rfind("│ ZZZ ", 0) == 0; }, 5s))
      << s.screen_text();
  EXPECT_EQ(s.row_text(kFirstRow).rfind("│ ABCD ", 0), 0u);
  EXPECT_EQ(s.row_text(kFirstRow + 1).rfind("│ MSFT ", 0), 0u);

  // After hours: its own columns under a cyan header.
  s.send("9");
  ASSERT_TRUE(s.wait_for_text(" Prev ")) << s.screen_text();
  EXPECT_EQ(s.row_text(kFirstRow).rfind("│ WXYZ     0.8125    -3.5%   0.8420      850     $690", 0), 0u)
      << s.screen_text();
  EXPECT_EQ(s.cell(kHeader, 2).fg, e2e::CellColor::indexed(6));
  EXPECT_TRUE(s.cell(kHeader, 2).underline);

  // A search typed in lower case matches MSFT by its name, on every tab.
  s.send("1/aar");
  ASSERT_TRUE(s.wait_for_text("Search: aar_")) << s.screen_text();
  ASSERT_TRUE(s.wait_for_text("1/1")) << s.screen_text();
  EXPECT_EQ(s.row_text(kFirstRow).rfind("│ MSFT ", 0), 0u);
  s.send("\r");
  ASSERT_TRUE(s.wait_for_text("Filter: aar")) << s.screen_text();
  s.send("q");  // back in normal mode, so this quits
  EXPECT_EQ(s.wait_exit(), 0);
}

}  // namespace
