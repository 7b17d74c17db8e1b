#include "tui/terminal.hpp"

#include <gtest/gtest.h>

#include <utf8proc.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tui {
namespace {

using namespace std::string_literals;

class CaptureOutput final : public Output {
 public:
  Status write(std::string_view b) override {
    if (fail_write) return Error{"write failed", {}};
    bytes += b;
    return {};
  }
  Status flush() override {
    if (fail_flush) return Error{"flush failed", {}};
    ++flushes;
    return {};
  }
  Result<Size> size() override {
    if (fail_size) return Error{"no size", {}};
    return sz;
  }
  // The bytes written since the last call.
  std::string take() { return std::exchange(bytes, {}); }

  std::string bytes;
  Size sz{10, 3};
  bool fail_write = false, fail_flush = false, fail_size = false;
  int flushes = 0;
};

// Renders a fixed picture; draw() can be called with it repeatedly.
auto text_at(uint16_t x, uint16_t y, std::string text, Style style = {}) {
  return [=](Buffer& b) { b.set_string(x, y, text, style); };
}

Terminal make(CaptureOutput& out) {
  Result<Terminal> t = Terminal::create(out);
  EXPECT_TRUE(t.ok());
  return std::move(t).value();
}

TEST(Terminal, FirstFramePaintsEveryCellWithoutClearing) {
  CaptureOutput out;
  out.sz = {3, 2};
  Terminal t = make(out);
  ASSERT_TRUE(t.draw(text_at(0, 0, "ab")).ok());
  // The terminal's style is not known yet: the first style change starts with a reset.
  EXPECT_EQ(out.take(), "\x1b[1;1H\x1b[0mab \x1b[2;1H   \x1b[?25l");
  EXPECT_EQ(out.flushes, 1);
}

TEST(Terminal, UnchangedFrameWritesOnlyHideCursor) {
  CaptureOutput out;
  Terminal t = make(out);
  auto render = text_at(2, 1, "hello", fg(colors::kGreen).with_bold());
  ASSERT_TRUE(t.draw(render).ok());
  out.take();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(t.draw(render).ok());
    EXPECT_EQ(out.take(), "\x1b[?25l");
  }
  EXPECT_EQ(out.flushes, 4);
}

TEST(Terminal, OneChangedCellWritesOneMoveAndItsText) {
  CaptureOutput out;
  out.sz = {120, 40};
  Terminal t = make(out);
  ASSERT_TRUE(t.draw(text_at(50, 20, "189.50")).ok());
  out.take();
  ASSERT_TRUE(t.draw(text_at(50, 20, "189.52")).ok());
  const std::string bytes = out.take();
  EXPECT_EQ(bytes, "\x1b[21;56H2\x1b[?25l");
  EXPECT_LT(bytes.size(), 40u);
}

TEST(Terminal, OneChangedStyledCellStaysUnder40Bytes) {
  // The farthest cell of the largest screen, in the table's busiest styles; the
  // terminal's style before the change is the default one.
  const Color stripe = Color::rgb(20, 20, 28);
  struct Case {
    Style style;
    std::string sgr;
  };
  const Case cases[] = {
      {Style{}.with_bg(stripe), "\x1b[48;2;20;20;28m"},
      {fg(colors::kGreen).with_bg(stripe), "\x1b[32;48;2;20;20;28m"},
      {fg(colors::kWhite).with_bold().with_bg(stripe), "\x1b[1;97;48;2;20;20;28m"},
  };
  for (const Case& c : cases) {
    CaptureOutput out;
    out.sz = {300, 100};
    Terminal t = make(out);
    auto frame = [&](const char* price) {
      return [&, price](Buffer& b) {
        b.set_string(290, 99, price, c.style);
        b.set_string(299, 99, "x", {});  // leaves the default style active
      };
    };
    ASSERT_TRUE(t.draw(frame("189.50")).ok());
    out.take();
    ASSERT_TRUE(t.draw(frame("189.52")).ok());
    const std::string bytes = out.take();
    EXPECT_EQ(bytes, "\x1b[100;296H" + c.sgr + "2\x1b[?25l");
    EXPECT_LT(bytes.size(), 40u);
    // The style stays active: an unchanged frame still writes nothing else.
    ASSERT_TRUE(t.draw(frame("189.52")).ok());
    EXPECT_EQ(out.take(), "\x1b[?25l");
  }
}

TEST(Terminal, ConsecutiveChangedCellsNeedNoMove) {
  CaptureOutput out;
  out.sz = {20, 2};
  Terminal t = make(out);
  ASSERT_TRUE(t.draw(text_at(0, 0, "aaaa        bbbb")).ok());
  out.take();
  // Two runs on one row far apart, one on the next row.
  auto two_rows = [](const char* top) {
    return [top](Buffer& b) {
      b.set_string(0, 0, top, {});
      b.set_string(3, 1, "z", {});
    };
  };
  ASSERT_TRUE(t.draw(two_rows("xxxx        yyyy")).ok());
  EXPECT_EQ(out.take(), "\x1b[1;1Hxxxx\x1b[1;13Hyyyy\x1b[2;4Hz\x1b[?25l");

  // A short gap of unchanged plain cells is sent again instead of a move.
  ASSERT_TRUE(t.draw(two_rows("PxxR        yyyy")).ok());
  EXPECT_EQ(out.take(), "\x1b[1;1HPxxR\x1b[?25l");
  // Not when those cells have another style than the current one.
  auto bold_gap = [](const char* top) {
    return [top](Buffer& b) {
      b.set_string(0, 0, top, {});
      b.set_style(Rect{1, 0, 2, 1}, Style{}.with_bold());
      b.set_string(3, 1, "z", {});
    };
  };
  ASSERT_TRUE(t.draw(bold_gap("QxxS        yyyy")).ok());
  EXPECT_EQ(out.take(), "\x1b[1;1HQ\x1b[1mxx\x1b[0mS\x1b[?25l");
  ASSERT_TRUE(t.draw(bold_gap("TxxU        yyyy")).ok());
  EXPECT_EQ(out.take(), "\x1b[1;1HT\x1b[1;4HU\x1b[?25l");
}

TEST(Terminal, StyleChangesEmitOnlyWhatDiffers) {
  struct Case {
    const char* name;
    Style a, b;      // styles of two neighbouring cells
    std::string sgr_between;  // bytes between the two letters
  };
  const Color stripe = Color::rgb(20, 20, 28);
  const Case cases[] = {
      {"same", fg(colors::kRed), fg(colors::kRed), ""},
      {"fg only", fg(colors::kRed), fg(colors::kYellow), "\x1b[33m"},
      {"bright fg", fg(colors::kRed), fg(colors::kWhite), "\x1b[97m"},
      {"dark gray", {}, fg(colors::kDarkGray), "\x1b[90m"},
      {"palette 200", {}, fg(Color::indexed(200)).with_bg(Color::indexed(100)), "\x1b[38;5;200;48;5;100m"},
      {"bg indexed", {}, Style{}.with_bg(colors::kCyan), "\x1b[46m"},
      {"bg bright", {}, Style{}.with_bg(colors::kWhite), "\x1b[107m"},
      {"bg rgb", {}, Style{}.with_bg(stripe), "\x1b[48;2;20;20;28m"},
      {"back to default fg", fg(colors::kRed).with_bg(stripe), Style{}.with_bg(stripe), "\x1b[39m"},
      {"add bold names the palette entry", fg(colors::kRed), fg(colors::kRed).with_bold(), "\x1b[1;38;5;1m"},
      {"bold black", {}, fg(colors::kBlack).with_bg(colors::kWhite).with_bold(), "\x1b[1;38;5;0;107m"},
      {"bright fg under bold", fg(colors::kWhite), fg(colors::kWhite).with_bold(), "\x1b[1m"},
      {"add underline", Style{}.with_bold(), Style{}.with_bold().with_underlined(), "\x1b[4m"},
      {"bold off resets", fg(colors::kCyan).with_bold().with_underlined(), fg(colors::kCyan).with_underlined(),
       "\x1b[0;4;36m"},
      {"all off", fg(colors::kBlack).with_bg(colors::kWhite).with_bold(), {}, "\x1b[0m"},
  };
  for (const Case& c : cases) {
    CaptureOutput out;
    Terminal t = make(out);
    ASSERT_TRUE(t.draw([](Buffer&) {}).ok());
    out.take();
    ASSERT_TRUE(t.draw([&](Buffer& b) {
      b.set_string(0, 0, "a", c.a);
      b.set_string(1, 0, "b", c.b);
    }).ok());
    const std::string bytes = out.take();
    const std::string prefix = "\x1b[1;1H";
    ASSERT_EQ(bytes.rfind(prefix, 0), 0u) << c.name << ": " << testing::PrintToString(bytes);
    const size_t a = bytes.find('a'), b = bytes.find('b', a);
    ASSERT_NE(b, std::string::npos) << c.name;
    EXPECT_EQ(bytes.substr(a + 1, b - a - 1), c.sgr_between) << c.name;
  }
}

TEST(Terminal, WideCharacterAdvancesTwoColumns) {
  CaptureOutput out;
  Terminal t = make(out);
  ASSERT_TRUE(t.draw([](Buffer&) {}).ok());
  out.take();
  ASSERT_TRUE(t.draw(text_at(1, 0, "中x")).ok());
  EXPECT_EQ(out.take(), "\x1b[1;2H中x\x1b[?25l");

  // Replacing the wide character by two narrow ones rewrites both cells.
  ASSERT_TRUE(t.draw(text_at(1, 0, "abx")).ok());
  EXPECT_EQ(out.take(), "\x1b[1;2Hab\x1b[?25l");

  // And back: the wide glyph covers both, its second half sends nothing.
  ASSERT_TRUE(t.draw(text_at(1, 0, "中x")).ok());
  EXPECT_EQ(out.take(), "\x1b[1;2H中\x1b[?25l");

  // Only the style of the second half changed: the whole glyph is sent again.
  ASSERT_TRUE(t.draw([](Buffer& b) {
    b.set_string(1, 0, "中x", {});
    b.set_style(Rect{2, 0, 1, 1}, Style{}.with_underlined());
  }).ok());
  EXPECT_EQ(out.take(), "\x1b[1;2H中\x1b[?25l");
}

TEST(Terminal, ResizeClearsAndRepaintsEveryCell) {
  CaptureOutput out;
  out.sz = {4, 2};
  Terminal t = make(out);
  auto render = text_at(0, 0, "ab");
  ASSERT_TRUE(t.draw(render).ok());
  out.take();
  out.sz = {3, 3};
  ASSERT_TRUE(t.draw(render).ok());
  EXPECT_EQ(out.take(), "\x1b[2J\x1b[1;1Hab \x1b[2;1H   \x1b[3;1H   \x1b[?25l");
  ASSERT_TRUE(t.draw(render).ok());
  EXPECT_EQ(out.take(), "\x1b[?25l");
}

TEST(Terminal, ClearUsesTheDefaultBackground) {
  // The clear paints with the current background: a style left active by the last
  // frame is reset first.
  CaptureOutput out;
  out.sz = {2, 1};
  Terminal t = make(out);
  auto red = text_at(0, 0, "ab", Style{}.with_bg(colors::kRed));
  ASSERT_TRUE(t.draw(red).ok());
  EXPECT_EQ(out.take(), "\x1b[1;1H\x1b[0;41mab\x1b[?25l");
  out.sz = {3, 1};
  ASSERT_TRUE(t.draw(red).ok());
  EXPECT_EQ(out.take(), "\x1b[0m\x1b[2J\x1b[1;1H\x1b[41mab\x1b[0m \x1b[?25l");
}

TEST(Terminal, ControlCharactersNeverReachTheTerminal) {
  CaptureOutput out;
  out.sz = {30, 2};
  Terminal t = make(out);
  ASSERT_TRUE(t.draw([](Buffer& b) {
    b.set_string(0, 0, "a\x1b]0;pwned\x07z\x9b\xc2\x9b" "31m\x7f\r\n", {});
    // Cells filled in by hand bypass the buffer's checks; the writer blanks them.
    b.at(0, 1).symbol = "\x1b[2J";
    b.at(1, 1).symbol = "\x07";
    b.at(2, 1).symbol = "\xc2\x9b";
    b.at(3, 1).symbol = "ab";
    b.at(4, 1).symbol = "\xff";
    b.at(29, 1).symbol = "中";  // no room for its second half
  }).ok());
  const std::string bytes = out.take();
  // Only our own sequences may start with ESC: CSI ... final byte.
  size_t esc_count = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == 0x1b) {
      ++esc_count;
      ASSERT_LT(i + 1, bytes.size());
      EXPECT_EQ(bytes[i + 1], '[') << "at " << i;
      continue;
    }
    EXPECT_FALSE(c < 0x20 || c == 0x7f) << "control byte " << int(c) << " at " << i;
    if (c == 0xc2) {
      EXPECT_GT(static_cast<unsigned char>(bytes[i + 1]), 0x9f) << "C1 at " << i;
    }
  }
  EXPECT_NE(bytes.find("a]0;pwnedz\xEF\xBF\xBD" "31m"), std::string::npos) << testing::PrintToString(bytes);
  EXPECT_EQ(bytes.find("\x1b[2J"), std::string::npos);
  EXPECT_EQ(bytes.find("ab"), std::string::npos);
  EXPECT_EQ(bytes.find("中"), std::string::npos);
  EXPECT_EQ(esc_count, 4u);  // two moves, one reset, hide cursor
}

TEST(Terminal, DestructorShowsTheCursorWhenDrawingHidIt) {
  CaptureOutput out;
  {
    Terminal t = make(out);
    Terminal moved = std::move(t);  // only the live one acts
  }
  EXPECT_EQ(out.take(), "") << "never drawn, the cursor was never hidden";
  {
    Terminal t = make(out);
    ASSERT_TRUE(t.draw([](Buffer&) {}).ok());
    Terminal moved = std::move(t);
    out.take();
  }
  EXPECT_EQ(out.take(), "\x1b[?25h");
  {
    Terminal t = make(out);
    ASSERT_TRUE(t.draw([](Buffer&) {}).ok());
    out.take();
    ASSERT_TRUE(t.show_cursor().ok());
    EXPECT_EQ(out.take(), "\x1b[?25h");
  }
  EXPECT_EQ(out.take(), "") << "already visible";
}

TEST(Terminal, DestructorReportsAFailureToShowTheCursor) {
  CaptureOutput out;
  testing::internal::CaptureStderr();
  {
    Terminal t = make(out);
    ASSERT_TRUE(t.draw([](Buffer&) {}).ok());
    out.fail_write = true;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to show the cursor: write failed\n");
}

TEST(Terminal, FailuresAreReturned) {
  CaptureOutput out;
  out.fail_size = true;
  Result<Terminal> none = Terminal::create(out);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error().message, "no size");

  out.fail_size = false;
  Terminal t = make(out);
  out.fail_size = true;
  Status st = t.draw(text_at(0, 0, "x"));
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.error().message, "no size");
  EXPECT_EQ(out.take(), "");

  out.fail_size = false;
  out.fail_write = true;
  st = t.draw(text_at(0, 0, "x"));
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.error().message, "write failed");

  // After a failed write the screen is unknown: the next frame paints everything.
  out.fail_write = false;
  ASSERT_TRUE(t.draw(text_at(0, 0, "x")).ok());
  const std::string bytes = out.take();
  EXPECT_EQ(bytes.rfind("\x1b[1;1H\x1b[0mx", 0), 0u) << testing::PrintToString(bytes);
  EXPECT_EQ(bytes.size(), 6u + 4u + 30u + 2u * 6u + 6u);

  out.fail_flush = true;
  st = t.draw(text_at(0, 0, "y"));
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.error().message, "flush failed");
  out.fail_flush = false;
  out.take();
  ASSERT_TRUE(t.draw(text_at(0, 0, "y")).ok());
  EXPECT_GT(out.take().size(), 30u) << "repainted after a failed flush";

  out.fail_write = true;
  st = t.show_cursor();
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.error().message, "write failed");
  out.fail_write = false;  // lets the destructor show the cursor
}

// A small terminal that understands exactly what the writer may send (cursor moves,
// SGR, clear, hide cursor, UTF-8 text with per-code-point widths like a real
// terminal) and fails on anything else. Driving it with the writer's bytes must
// reproduce the buffer cell for cell.
class ModelTerminal {
 public:
  ModelTerminal(uint16_t w, uint16_t h) { resize(w, h); }

  void resize(uint16_t w, uint16_t h) {
    w_ = w;
    h_ = h;
    Cell junk;
    junk.symbol = "?";  // whatever the screen showed before
    cells_.assign(size_t(w) * h, junk);
    x_ = y_ = 0;
    wrap_ = false;
  }

  // Returns an error text, or "" when every byte was understood.
  std::string feed(std::string_view b) {
    size_t i = 0;
    while (i < b.size()) {
      const auto c = static_cast<unsigned char>(b[i]);
      if (c == 0x1b) {
        if (i + 1 >= b.size() || b[i + 1] != '[') return "ESC not followed by [";
        size_t j = i + 2;
        std::string params;
        while (j < b.size() && (static_cast<unsigned char>(b[j]) < 0x40 || static_cast<unsigned char>(b[j]) > 0x7e))
          params += b[j++];
        if (j >= b.size()) return "unterminated CSI";
        if (std::string e = csi(params, b[j]); !e.empty()) return e;
        i = j + 1;
        continue;
      }
      if (c < 0x20 || c == 0x7f) return "control byte";
      utf8proc_int32_t cp;
      const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(b.data()) + i, b.size() - i, &cp);
      if (n <= 0) return "invalid UTF-8";
      if (cp >= 0x80 && cp <= 0x9f) return "C1 control";
      if (std::string e = put(std::string(b.substr(i, n)), utf8proc_charwidth(cp)); !e.empty()) return e;
      i += size_t(n);
    }
    return "";
  }

  const Cell& at(uint16_t x, uint16_t y) const { return cells_[size_t(y) * w_ + x]; }
  bool cursor_hidden = false;

 private:
  Cell& cell(int x, int y) { return cells_[size_t(y) * w_ + x]; }

  std::string put(const std::string& sym, int width) {
    if (width == 0) {  // joins the cell before the cursor
      const int px = wrap_ ? x_ : x_ - 1;
      if (px < 0) return "combining mark with no cell before it";
      cell(px, y_).symbol += sym;
      return "";
    }
    if (wrap_) return "text after the last column would wrap";
    if (x_ + width > w_) return "wide character does not fit";
    // Like real terminals: a half-overwritten wide character loses its other half.
    if (cell(x_, y_).symbol.empty() && x_ > 0) cell(x_ - 1, y_).symbol = " ";
    if (x_ + width < w_ && cell(x_ + width, y_).symbol.empty()) cell(x_ + width, y_).symbol = " ";
    Cell& c = cell(x_, y_);
    c.symbol = sym;
    c.fg = pen_.fg;
    c.bg = pen_.bg;
    c.bold = pen_.bold;
    c.underlined = pen_.underlined;
    if (width == 2) {
      Cell& second = cell(x_ + 1, y_);
      second = c;
      second.symbol.clear();
    }
    x_ += width;
    if (x_ >= w_) {
      x_ = w_ - 1;
      wrap_ = true;
    }
    return "";
  }

  std::string csi(const std::string& params, char final) {
    if (final == 'H') {
      int row = 0, col = 0;
      if (std::sscanf(params.c_str(), "%d;%d", &row, &col) != 2) return "bad cursor move " + params;
      if (row < 1 || row > h_ || col < 1 || col > w_) return "cursor move off screen " + params;
      y_ = row - 1;
      x_ = col - 1;
      wrap_ = false;
      return "";
    }
    if (final == 'J') {
      if (params != "2") return "unexpected erase " + params;
      for (Cell& c : cells_) c = Cell{" ", Color{}, pen_.bg, false, false};  // erased with the current background
      return "";
    }
    if (final == 'l' || final == 'h') {
      if (params != "?25") return "unexpected mode " + params;
      cursor_hidden = final == 'l';
      return "";
    }
    if (final != 'm') return std::string("unexpected CSI final ") + final;
    std::vector<int> p;
    size_t start = 0;
    while (start <= params.size()) {
      const size_t end = std::min(params.find(';', start), params.size());
      p.push_back(std::atoi(params.substr(start, end - start).c_str()));
      start = end + 1;
    }
    for (size_t k = 0; k < p.size(); ++k) {
      const int v = p[k];
      auto ext = [&](Color& out) {
        if (k + 2 < p.size() && p[k + 1] == 5) {
          out = Color::indexed(uint8_t(p[k + 2]));
          k += 2;
          return true;
        }
        if (k + 4 < p.size() && p[k + 1] == 2) {
          out = Color::rgb(uint8_t(p[k + 2]), uint8_t(p[k + 3]), uint8_t(p[k + 4]));
          k += 4;
          return true;
        }
        return false;
      };
      if (v == 0) pen_ = Pen{};
      else if (v == 1) pen_.bold = true;
      else if (v == 4) pen_.underlined = true;
      else if (v >= 30 && v <= 37) {
        if (pen_.bold) return "30-37 under bold is ambiguous";
        pen_.fg = Color::indexed(uint8_t(v - 30));
      } else if (v >= 90 && v <= 97) pen_.fg = Color::indexed(uint8_t(v - 90 + 8));
      else if (v >= 40 && v <= 47) pen_.bg = Color::indexed(uint8_t(v - 40));
      else if (v >= 100 && v <= 107) pen_.bg = Color::indexed(uint8_t(v - 100 + 8));
      else if (v == 39) pen_.fg = Color{};
      else if (v == 49) pen_.bg = Color{};
      else if (v == 38) {
        if (!ext(pen_.fg)) return "bad 38";
      } else if (v == 48) {
        if (!ext(pen_.bg)) return "bad 48";
      } else {
        return "unexpected SGR " + std::to_string(v);
      }
    }
    return "";
  }

  struct Pen {
    Color fg, bg;
    bool bold = false, underlined = false;
  };
  uint16_t w_ = 0, h_ = 0;
  int x_ = 0, y_ = 0;
  bool wrap_ = false;
  Pen pen_{Color{}, Color::indexed(1), true, false};  // not the default: the writer must not assume one
  std::vector<Cell> cells_;
};

TEST(Terminal, RandomFramesReproducedByAModelTerminal) {
  const char* alphabet[] = {"a", "b", " ", "中", "字", "\xc3\xa9", "e\xcc\x81", "─", "x\x1b[31m", "\xc2\x9b"};
  const Color colours[] = {Color{}, colors::kBlack, colors::kRed, colors::kCyan, colors::kDarkGray,
                           colors::kWhite, Color::indexed(200), Color::rgb(20, 20, 28)};
  struct Op {
    bool text;
    uint16_t x, y, w;
    std::string s;
    Style style;
  };
  std::mt19937 rng(11);
  auto pick_style = [&] {
    Style st;
    if (rng() % 2) st.fg = colours[rng() % std::size(colours)];
    if (rng() % 3 == 0) st.bg = colours[rng() % std::size(colours)];
    st.bold = rng() % 4 == 0;
    st.underlined = rng() % 6 == 0;
    return st;
  };
  const Size sizes[] = {{13, 4}, {12, 5}, {1, 2}};
  auto random_op = [&](Size sz) {
    Op op;
    op.text = rng() % 4 != 0;
    op.x = uint16_t(rng() % (sz.cols + 1));
    op.y = uint16_t(rng() % sz.rows);
    op.w = uint16_t(rng() % (sz.cols + 2));
    for (int n = int(rng() % 6); n > 0; --n) op.s += alphabet[rng() % std::size(alphabet)];
    op.style = pick_style();
    return op;
  };

  CaptureOutput out;
  out.sz = sizes[0];
  Terminal t = make(out);
  ModelTerminal screen(out.sz.cols, out.sz.rows);
  std::vector<Op> ops;
  for (int frame = 0; frame < 400; ++frame) {
    if (rng() % 20 == 0) {
      const Size next = sizes[rng() % std::size(sizes)];
      if (next != out.sz) screen.resize(next.cols, next.rows);  // junk until the writer clears it
      out.sz = next;
    }
    // Mostly small changes to the previous picture, sometimes a new one.
    if (rng() % 10 == 0) ops.clear();
    while (ops.size() < 8) ops.push_back(random_op(out.sz));
    for (int n = int(rng() % 3); n > 0; --n) ops[rng() % ops.size()] = random_op(out.sz);

    Buffer expected;
    ASSERT_TRUE(t.draw([&](Buffer& b) {
      for (const Op& op : ops) {
        if (op.text) b.set_string(op.x, op.y, op.s, op.style, op.w);
        else b.set_style(Rect{op.x, op.y, op.w, 2}, op.style);
      }
      expected = b;
    }).ok());
    const std::string bytes = out.take();
    ASSERT_EQ(screen.feed(bytes), "") << "frame " << frame << ": " << testing::PrintToString(bytes);
    ASSERT_TRUE(screen.cursor_hidden);
    for (uint16_t y = 0; y < expected.height(); ++y)
      for (uint16_t x = 0; x < expected.width(); ++x) {
        const Cell& want = expected.at(x, y);
        const Cell& got = screen.at(x, y);
        ASSERT_EQ(got.symbol, want.symbol) << "frame " << frame << " cell " << x << "," << y;
        // Colours only matter where something is drawn: the second half of a wide
        // character shows the style of its first.
        if (want.symbol.empty()) continue;
        ASSERT_TRUE(got.fg == want.fg && got.bg == want.bg && got.bold == want.bold &&
                    got.underlined == want.underlined)
            << "frame " << frame << " cell " << x << "," << y;
      }
  }
}

}  // namespace
}  // namespace tui
