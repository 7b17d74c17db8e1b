#include "tui/terminal.hpp"

#include <cstdio>
#include <utility>

#include "tui/backend.hpp"
#include "tui/text.hpp"

namespace tui {
namespace {

void append_uint(std::string& out, unsigned v) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = char('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) out += digits[--n];
}

size_t uint_len(unsigned v) {
  size_t n = 1;
  while (v >= 10) {
    v /= 10;
    ++n;
  }
  return n;
}

// What the writer sends for one cell: a width of 0 marks the second half of a wide
// character, which sends nothing.
struct Glyph {
  std::string_view bytes;
  uint8_t width;
  bool resync;  // the terminal may disagree on its width: place the next cell explicitly
};

constexpr Glyph kBlank{" ", 1, false};

bool printable_ascii(unsigned char c) { return c >= 0x20 && c < 0x7f; }

// The buffer only ever stores sanitised clusters; this check keeps the terminal safe
// even from a cell filled in by hand: anything that is not exactly one drawable
// cluster goes out as a blank.
Glyph glyph_of(const Cell& cell) {
  const std::string& s = cell.symbol;
  if (s.size() == 1) return printable_ascii(static_cast<unsigned char>(s[0])) ? Glyph{s, 1, false} : kBlank;
  if (s.empty()) return Glyph{{}, 0, false};
  GraphemeReader reader(s);
  Grapheme g;
  if (!reader.next(g) || g.text != s) return kBlank;
  const Glyph out{s, g.width, !g.single_codepoint};
  return reader.next(g) ? kBlank : out;
}

// Indexed 0-7 as 30-37, except under bold: terminals that show bold as bright would
// turn those into 8-15, so bold text names its palette entry with 38;5;n.
bool low_indexed(const Color& c) { return c.kind == Color::Kind::Indexed && c.index < 8; }

// Cell equality, with the usual one-byte symbol compared without a call to memcmp.
inline bool same(const Cell& a, const Cell& b) {
  if (a.fg != b.fg || a.bg != b.bg || a.bold != b.bold || a.underlined != b.underlined) return false;
  const size_t n = a.symbol.size();
  if (n != b.symbol.size()) return false;
  return n == 1 ? a.symbol[0] == b.symbol[0] : a.symbol == b.symbol;
}

// 24-bit colour after its SGR prefix ("38;2;" or "48;2;").
void append_rgb(std::string& out, std::string_view prefix, const Color& c) {
  out += prefix;
  append_uint(out, c.r);
  out += ';';
  append_uint(out, c.g);
  out += ';';
  append_uint(out, c.b);
}

void append_fg(std::string& out, const Color& c, bool bold) {
  switch (c.kind) {
    case Color::Kind::Default:
      out += "39";
      break;
    case Color::Kind::Indexed:
      if (c.index < 8 && !bold) {
        append_uint(out, 30u + c.index);
      } else if (c.index >= 8 && c.index < 16) {
        append_uint(out, 90u + c.index - 8);
      } else {
        out += "38;5;";
        append_uint(out, c.index);
      }
      break;
    case Color::Kind::Rgb:
      append_rgb(out, "38;2;", c);
      break;
  }
}

void append_bg(std::string& out, const Color& c) {
  switch (c.kind) {
    case Color::Kind::Default:
      out += "49";
      break;
    case Color::Kind::Indexed:
      if (c.index < 8) {
        append_uint(out, 40u + c.index);
      } else if (c.index < 16) {
        append_uint(out, 100u + c.index - 8);
      } else {
        out += "48;5;";
        append_uint(out, c.index);
      }
      break;
    case Color::Kind::Rgb:
      append_rgb(out, "48;2;", c);
      break;
  }
}

}  // namespace

Terminal::Terminal(Output& out, Size size) : out_(&out), current_(size.cols, size.rows), previous_(size.cols, size.rows) {}

Terminal::Terminal(Terminal&& other) noexcept
    : out_(other.out_),
      current_(std::move(other.current_)),
      previous_(std::move(other.previous_)),
      bytes_(std::move(other.bytes_)),
      pen_(other.pen_),
      pen_known_(other.pen_known_),
      cursor_x_(other.cursor_x_),
      cursor_y_(other.cursor_y_),
      cursor_hidden_(other.cursor_hidden_),
      moved_from_(other.moved_from_),
      full_repaint_(other.full_repaint_) {
  other.moved_from_ = true;
}

Terminal::~Terminal() {
  if (moved_from_ || !cursor_hidden_) return;
  Status st = show_cursor();
  if (!st) {
    const std::string msg = "Failed to show the cursor: " + st.error().message + "\n";
    std::fputs(msg.c_str(), stderr);
  }
}

Result<Terminal> Terminal::create(Output& out) {
  Result<Size> size = out.size();
  if (!size) return size.take_error();
  return Terminal(out, *size);
}

Status Terminal::show_cursor() {
  if (Status st = out_->write(kShowCursor); !st) return st;
  if (Status st = out_->flush(); !st) return st;
  cursor_hidden_ = false;
  return {};
}

void Terminal::move_to(uint16_t x, uint16_t y) {
  if (cursor_x_ == x && cursor_y_ == y) return;
  bytes_ += "\x1b[";
  append_uint(bytes_, y + 1u);
  bytes_ += ';';
  append_uint(bytes_, x + 1u);
  bytes_ += 'H';
  cursor_x_ = x;
  cursor_y_ = y;
}

void Terminal::set_pen(const Pen& target) {
  if (pen_known_ && pen_ == target) return;
  bytes_ += "\x1b[";
  if (target == Pen{}) {
    bytes_ += '0';
  } else {
    // Bold and underline can only be switched off together with everything else.
    const bool reset = !pen_known_ || (pen_.bold && !target.bold) || (pen_.underlined && !target.underlined);
    const Pen from = reset ? Pen{} : pen_;
    bool first = true;
    auto sep = [&] {
      if (!first) bytes_ += ';';
      first = false;
    };
    if (reset) {
      sep();
      bytes_ += '0';
    }
    if (target.bold && !from.bold) {
      sep();
      bytes_ += '1';
    }
    if (target.underlined && !from.underlined) {
      sep();
      bytes_ += '4';
    }
    if (target.fg != from.fg || (target.bold && !from.bold && low_indexed(target.fg))) {
      sep();
      append_fg(bytes_, target.fg, target.bold);
    }
    if (target.bg != from.bg) {
      sep();
      append_bg(bytes_, target.bg);
    }
  }
  bytes_ += 'm';
  pen_ = target;
  pen_known_ = true;
}

void Terminal::write_cells() {
  const uint16_t w = current_.width(), h = current_.height();
  for (uint16_t y = 0; y < h; ++y) {
    const Cell* cur = &current_.cells()[size_t(y) * w];
    const Cell* prev = &previous_.cells()[size_t(y) * w];
    for (uint16_t x = 0; x < w; ++x) {
      const Cell& c = cur[x];
      bool changed = full_repaint_ || !same(c, prev[x]);
      // A wide character is drawn again when only its second half changed.
      if (!changed && x + 1 < w && cur[x + 1].symbol.empty() && !same(cur[x + 1], prev[x + 1])) changed = true;
      if (!changed) continue;

      Glyph g = glyph_of(c);
      if (g.width == 0) {
        if (x > 0 && glyph_of(cur[x - 1]).width == 2) continue;  // sent with its first half
        g = kBlank;
      }
      if (g.width == 2 && (x + 1 >= w || !cur[x + 1].symbol.empty())) g = kBlank;

      const Pen pen{c.fg, c.bg, c.bold, c.underlined};
      if (cursor_y_ == y && cursor_x_ >= 0 && cursor_x_ < x) {
        // A short run of unchanged plain cells in the current style is cheaper to
        // send again than a cursor move.
        const uint16_t from = uint16_t(cursor_x_);
        const size_t move_len = 4 + uint_len(y + 1u) + uint_len(x + 1u);
        bool fill = pen_known_ && size_t(x - from) < move_len;
        for (uint16_t i = from; fill && i < x; ++i) {
          const Cell& gap = cur[i];
          fill = gap.symbol.size() == 1 && printable_ascii(static_cast<unsigned char>(gap.symbol[0])) &&
                 Pen{gap.fg, gap.bg, gap.bold, gap.underlined} == pen_;
        }
        if (fill) {
          for (uint16_t i = from; i < x; ++i) bytes_ += cur[i].symbol[0];
          cursor_x_ = x;
        }
      }
      move_to(x, y);
      set_pen(pen);
      bytes_ += g.bytes;
      cursor_x_ = x + g.width;
      // After the last column the cursor waits to wrap; after a cluster the terminal
      // may measure differently, its position is not known either.
      if (cursor_x_ >= w || g.resync) cursor_x_ = cursor_y_ = -1;
    }
  }
}

Status Terminal::draw(const std::function<void(Buffer&)>& render) {
  Result<Size> size = out_->size();
  if (!size) return size.take_error();

  bytes_.clear();
  if (size->cols != current_.width() || size->rows != current_.height()) {
    current_.resize(size->cols, size->rows);
    previous_.resize(size->cols, size->rows);
    // The clear fills the screen with the current background: make it the default.
    if (!pen_known_ || pen_ != Pen{}) set_pen(Pen{});
    bytes_ += kClearScreen;
    full_repaint_ = true;
  }

  current_.reset();
  render(current_);
  if (current_.area() != previous_.area()) current_.resize(previous_.width(), previous_.height());

  cursor_x_ = cursor_y_ = -1;
  write_cells();
  bytes_ += kHideCursor;
  cursor_hidden_ = true;

  if (Status st = out_->write(bytes_); !st) {
    // The screen now holds an unknown part of this frame: paint it all next time.
    full_repaint_ = true;
    pen_known_ = false;
    return st;
  }
  std::swap(current_, previous_);
  full_repaint_ = false;
  if (Status st = out_->flush(); !st) {
    full_repaint_ = true;
    pen_known_ = false;
    return st;
  }
  return {};
}

}  // namespace tui
