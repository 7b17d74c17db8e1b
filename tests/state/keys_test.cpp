#include "state/keys.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "state/row_fixture.hpp"
#include "state/tabs.hpp"

namespace state {
namespace {

using tui::KeyCode;
using tui::KeyEvent;

KeyEvent ch(char32_t c, uint8_t mods = tui::kNoModifier) { return KeyEvent::character(c, mods); }
KeyEvent ctrl(char32_t c) { return KeyEvent::character(c, tui::kControl); }
KeyEvent key(KeyCode code, uint8_t mods = tui::kNoModifier) { return KeyEvent::key(code, mods); }

// What the record looks like after one key; unset fields are not checked.
struct After {
  std::optional<uint64_t> scroll = std::nullopt;
  std::optional<std::string> search = std::nullopt;
  std::optional<bool> search_mode = std::nullopt;
  std::optional<uint64_t> tab = std::nullopt;
  bool quit = false;
};

struct Step {
  KeyEvent key;
  After after;
};

struct Scenario {
  const char* name;
  size_t rows = 0;  // priced symbol rows S0..S<rows-1>
  uint64_t max_rows = 1000;
  size_t ah_rows = 0;
  uint64_t tab = 0;
  uint64_t scroll = 0;
  std::string search = "";
  bool search_mode = false;
  uint16_t page = 30;
  std::vector<Step> steps = {};
};

void run(const Scenario& s) {
  SCOPED_TRACE(s.name);
  App app = state_test::app_with_rows(s.rows, s.max_rows);
  for (size_t i = 0; i < s.ah_rows; ++i) app.ah_rows.push_back(state_test::ah_row("H" + std::to_string(i)));
  app.tab = s.tab;
  app.scroll = s.scroll;
  app.search = s.search;
  app.search_mode = s.search_mode;
  for (size_t i = 0; i < s.steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i + 1));
    const After& want = s.steps[i].after;
    EXPECT_EQ(handle_key(s.steps[i].key, app, s.page), want.quit);
    if (want.scroll) {
      EXPECT_EQ(app.scroll, *want.scroll);
    }
    if (want.search) {
      EXPECT_EQ(app.search, *want.search);
    }
    if (want.search_mode) {
      EXPECT_EQ(app.search_mode, *want.search_mode);
    }
    if (want.tab) {
      EXPECT_EQ(app.tab, *want.tab);
    }
  }
}

After scroll(uint64_t v) { return After{.scroll = v}; }
After text(std::string search, uint64_t scroll_after = 0) {
  return After{.scroll = scroll_after, .search = std::move(search), .search_mode = true};
}

TEST(Keys, Scrolling) {
  const Scenario scenarios[] = {
      {.name = "100 rows, page 30",
       .rows = 100,
       .steps = {{key(KeyCode::PageDown), scroll(30)},
                 {key(KeyCode::PageDown), scroll(60)},
                 {key(KeyCode::PageDown), scroll(70)},
                 {key(KeyCode::PageDown), scroll(70)},
                 {key(KeyCode::Down), scroll(70)},
                 {ch('j'), scroll(70)},
                 {key(KeyCode::Up), scroll(69)},
                 {ch('k'), scroll(68)},
                 {key(KeyCode::PageUp), scroll(38)},
                 {key(KeyCode::PageUp), scroll(8)},
                 {key(KeyCode::PageUp), scroll(0)},
                 {key(KeyCode::Up), scroll(0)},
                 {ch('k'), scroll(0)},
                 {ch('j'), scroll(1)},
                 {key(KeyCode::Down), scroll(2)}}},
      {.name = "10 rows, page 30",
       .rows = 10,
       .steps = {{key(KeyCode::Down), scroll(0)}, {key(KeyCode::PageDown), scroll(0)}, {ch('j'), scroll(0)}}},
      {.name = "shrunk list, Down",
       .rows = 20,
       .scroll = 50,
       .page = 10,
       .steps = {{key(KeyCode::Down), scroll(10)}}},
      {.name = "shrunk list, Up then PageDown",
       .rows = 20,
       .scroll = 50,
       .page = 10,
       .steps = {{key(KeyCode::Up), scroll(49)}, {key(KeyCode::PageUp), scroll(39)},
                 {key(KeyCode::PageDown), scroll(10)}}},
      {.name = "symbol tab bounded by its cap",
       .rows = 80,
       .max_rows = 50,
       .steps = {{key(KeyCode::PageDown), scroll(20)}, {key(KeyCode::PageDown), scroll(20)}}},
      {.name = "after-hours tab bounded by its own list",
       .rows = 5,
       .ah_rows = 80,
       .tab = AH_TAB,
       .steps = {{key(KeyCode::PageDown), scroll(30)}, {key(KeyCode::PageDown), scroll(50)},
                 {key(KeyCode::Down), scroll(50)}}},
      {.name = "bottom limit under the current search",  // S1, S10..S19: 11 rows
       .rows = 100,
       .search = "s1",
       .page = 5,
       .steps = {{key(KeyCode::PageDown), scroll(5)}, {key(KeyCode::PageDown), scroll(6)}}},
      {.name = "huge scroll saturates",
       .rows = 100,
       .scroll = UINT64_MAX,
       .steps = {{key(KeyCode::PageUp), scroll(UINT64_MAX - 30)}, {key(KeyCode::PageDown), scroll(70)}}},
      {.name = "page height 0 moves nothing by page",
       .rows = 3,
       .page = 0,
       .steps = {{key(KeyCode::PageDown), scroll(0)}, {key(KeyCode::Down), scroll(1)}}},
  };
  for (const Scenario& s : scenarios) run(s);
}

TEST(Keys, SearchMode) {
  const Scenario scenarios[] = {
      {.name = "/abc, Backspace, Enter, then Esc",
       .rows = 100,
       .scroll = 5,
       .search = "old",
       .steps = {{ch('/'), text("")},
                 {ch('a'), text("a")},
                 {ch('b'), text("ab")},
                 {ch('c'), text("abc")},
                 {key(KeyCode::Backspace), text("ab")},
                 {key(KeyCode::Enter), {.scroll = 0, .search = "ab", .search_mode = false}},
                 {key(KeyCode::Esc), {.scroll = 0, .search = "", .search_mode = false}}}},
      {.name = "quit, tab and scroll keys are typed",
       .tab = 3,
       .search_mode = true,
       .steps = {{ch('q'), text("q")},
                 {ctrl('c'), text("qc")},
                 {ch('q', tui::kAlt | tui::kControl), text("qcq")},
                 {ch('2'), {.search = "qcq2", .tab = 3}},
                 {ch('j'), text("qcq2j")},
                 {ch('/'), text("qcq2j/")},
                 {ch('Q', tui::kShift), text("qcq2j/Q")}}},
      {.name = "Backspace removes one whole character",
       .search = "x",
       .search_mode = true,
       .steps = {{ch(U'é'), text("xé")},
                 {key(KeyCode::Backspace), text("x")},
                 {ch(U'€'), text("x€")},
                 {key(KeyCode::Backspace), text("x")},
                 {ch(U'😀'), text("x😀")},
                 {key(KeyCode::Backspace), text("x")},
                 {key(KeyCode::Backspace), text("")},
                 {key(KeyCode::Backspace), text("")}}},
      {.name = "Backspace on an empty search still resets scroll",
       .scroll = 9,
       .search_mode = true,
       .steps = {{key(KeyCode::Backspace), text("", 0)}}},
      {.name = "Enter keeps the scroll and the filter",
       .scroll = 9,
       .search = "ab",
       .search_mode = true,
       .steps = {{key(KeyCode::Enter), {.scroll = 9, .search = "ab", .search_mode = false}}}},
      {.name = "Esc leaves search mode and empties the text",
       .scroll = 9,
       .search = "ab",
       .search_mode = true,
       .steps = {{key(KeyCode::Esc), {.scroll = 0, .search = "", .search_mode = false}}}},
      {.name = "other keys do nothing",
       .rows = 100,
       .scroll = 9,
       .search = "s",
       .search_mode = true,
       .steps = {{key(KeyCode::Up), text("s", 9)},       {key(KeyCode::Down), text("s", 9)},
                 {key(KeyCode::PageDown), text("s", 9)}, {key(KeyCode::Left), text("s", 9)},
                 {key(KeyCode::Home), text("s", 9)},     {key(KeyCode::Tab), text("s", 9)},
                 {key(KeyCode::Delete), text("s", 9)},   {KeyEvent{KeyCode::F, 0, 1}, text("s", 9)},
                 {key(KeyCode::Null), text("s", 9)}}},
      {.name = "a code that is no Unicode scalar value is dropped",
       .scroll = 4,
       .search = "a",
       .search_mode = true,
       .steps = {{ch(char32_t(0xD800)), text("a", 4)}, {ch(char32_t(0x110000)), text("a", 4)}}},
  };
  for (const Scenario& s : scenarios) run(s);
}

TEST(Keys, NormalMode) {
  const Scenario scenarios[] = {
      {.name = "re-selecting the active tab resets scroll",
       .rows = 100,
       .tab = 1,
       .scroll = 15,
       .steps = {{ch('2'), {.scroll = 0, .tab = 1}}}},
      {.name = "digits select tabs",
       .rows = 100,
       .scroll = 15,
       .steps = {{ch('9'), {.scroll = 0, .tab = AH_TAB}},
                 {ch('1'), {.scroll = 0, .tab = 0}},
                 {ctrl('3'), {.scroll = 0, .tab = 2}},
                 {ch('8'), {.scroll = 0, .tab = 7}},
                 {ch('0'), {.scroll = 0, .tab = 7}}}},
      {.name = "letters are case-sensitive",
       .rows = 100,
       .scroll = 5,
       .steps = {{ch('Q', tui::kShift), scroll(5)},
                 {ch('C', tui::kControl | tui::kShift), scroll(5)},
                 {ch('J', tui::kShift), scroll(5)},
                 {ch('K', tui::kShift), scroll(5)},
                 {ch('c'), scroll(5)}}},
      {.name = "Control is ignored but for c",
       .rows = 100,
       .steps = {{ctrl('j'), scroll(1)},
                 {ch('j', tui::kAlt), scroll(2)},
                 {ctrl('k'), scroll(1)},
                 {ctrl('/'), {.scroll = 0, .search = "", .search_mode = true}}}},
      {.name = "Esc empties the search and stays in normal mode",
       .rows = 100,
       .scroll = 7,
       .search = "ab",
       .steps = {{key(KeyCode::Esc), {.scroll = 0, .search = "", .search_mode = false}}}},
      {.name = "other keys do nothing",
       .rows = 100,
       .scroll = 7,
       .search = "s",
       .steps = {{key(KeyCode::Left), {.scroll = 7, .search = "s", .search_mode = false, .tab = 0}},
                 {key(KeyCode::Right), scroll(7)},
                 {key(KeyCode::Home), scroll(7)},
                 {key(KeyCode::End), scroll(7)},
                 {key(KeyCode::Tab), scroll(7)},
                 {key(KeyCode::BackTab), scroll(7)},
                 {key(KeyCode::Insert), scroll(7)},
                 {key(KeyCode::Delete), scroll(7)},
                 {key(KeyCode::Enter), scroll(7)},
                 {key(KeyCode::Backspace), {.scroll = 7, .search = "s", .search_mode = false}},
                 {KeyEvent{KeyCode::F, 0, 5}, scroll(7)},
                 {ch('x'), {.scroll = 7, .search = "s", .search_mode = false, .tab = 0}}}},
  };
  for (const Scenario& s : scenarios) run(s);
}

TEST(Keys, QuitKeys) {
  struct Case {
    KeyEvent key;
    bool quit;
  };
  const Case cases[] = {
      {ch('q'), true},           {ch('q', tui::kAlt), true},  {ctrl('q'), true},
      {ctrl('c'), true},         {ch('c', tui::kControl | tui::kAlt), true},
      {ch('c'), false},          {ch('c', tui::kAlt), false}, {ch('Q', tui::kShift), false},
      {key(KeyCode::Esc), false}, {key(KeyCode::Char, tui::kControl), false},
  };
  for (const Case& c : cases) {
    App app(50);
    app.scroll = 3;
    EXPECT_EQ(handle_key(c.key, app, 30), c.quit) << char(c.key.ch) << " mods " << int(c.key.modifiers);
    if (c.quit) {
      EXPECT_EQ(app.scroll, 3u);
      EXPECT_FALSE(app.search_mode);
    }
  }
}

}  // namespace
}  // namespace state
