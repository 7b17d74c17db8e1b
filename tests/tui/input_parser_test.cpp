#include "tui/input_parser.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tui {

// Readable failure messages.
void PrintTo(const KeyEvent& k, std::ostream* os) {
  *os << "Key(code " << int(k.code);
  if (k.code == KeyCode::Char) *os << " U+" << std::hex << uint32_t(k.ch) << std::dec;
  if (k.code == KeyCode::F) *os << " F" << int(k.fn);
  *os << " mods " << int(k.modifiers) << " kind " << int(k.kind) << ")";
}
void PrintTo(const MouseEvent&, std::ostream* os) { *os << "Mouse"; }
void PrintTo(const ResizeEvent&, std::ostream* os) { *os << "Resize"; }
void PrintTo(const FocusEvent& f, std::ostream* os) { *os << (f.gained ? "FocusIn" : "FocusOut"); }
void PrintTo(const PasteEvent& p, std::ostream* os) { *os << "Paste(" << p.text.size() << " bytes)"; }

}  // namespace tui

namespace {

using namespace tui;
using Events = std::vector<Event>;

KeyEvent ch(char32_t c, uint8_t mods = kNoModifier) { return KeyEvent::character(c, mods); }
KeyEvent key(KeyCode c, uint8_t mods = kNoModifier) { return KeyEvent::key(c, mods); }
KeyEvent fkey(uint8_t n, uint8_t mods = kNoModifier) {
  KeyEvent k = KeyEvent::key(KeyCode::F, mods);
  k.fn = n;
  return k;
}

Events drain(InputParser& p) {
  Events out;
  while (auto e = p.next_event()) out.push_back(std::move(*e));
  return out;
}

// Feeds `chunks` one after another; with `flush`, the Esc delay then passes.
Events parse(const std::vector<std::string>& chunks, bool flush) {
  InputParser p;
  for (const auto& c : chunks) p.feed(c);
  if (flush) p.flush_pending();
  return drain(p);
}

Events parse_bytewise(const std::vector<std::string>& chunks, bool flush) {
  InputParser p;
  for (const auto& c : chunks)
    for (char b : c) p.feed(std::string_view(&b, 1));
  if (flush) p.flush_pending();
  return drain(p);
}

struct Case {
  const char* name;
  std::vector<std::string> chunks;
  Events expected;
  bool flush = false;  // the Esc delay passes after the input
};

const std::string ESC = "\x1b";

const std::vector<Case> kCases = {
    // Characters.
    {"ascii", {"aZ~ 9/"}, {ch('a'), ch('Z'), ch('~'), ch(' '), ch('9'), ch('/')}},
    {"utf8 two three four bytes", {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"}, {ch(U'é'), ch(U'€'), ch(U'😀')}},
    {"utf8 split across reads", {"\xf0\x9f", "\x98", "\x80x"}, {ch(U'😀'), ch('x')}},
    {"invalid utf8 dropped", {"\xff\x80" "a" "\xc3(" "\xe0\x80\x80" "\xed\xa0\x80" "\xf4\x90\x80\x80" "\xc0\xaf" "b"},
     {ch('a'), ch('('), ch('b')}},
    {"c1 control as utf8 dropped", {"\xc2\x85\xc2\x9b" "A"}, {ch('A')}},
    {"truncated utf8 at the end dropped by the delay", {"\xe2\x82"}, {}, true},

    // C0 bytes.
    {"ctrl letters", {"\x01\x03\x1a\x11"}, {ch('a', kControl), ch('c', kControl), ch('z', kControl), ch('q', kControl)}},
    {"enter tab backspace null", {"\r\n\t\x7f\x08", std::string(1, '\0')},
     {key(KeyCode::Enter), key(KeyCode::Enter), key(KeyCode::Tab), key(KeyCode::Backspace),
      key(KeyCode::Backspace), key(KeyCode::Null)}},
    {"ctrl punctuation", {"\x1c\x1d\x1e\x1f"}, {ch('\\', kControl), ch(']', kControl), ch('^', kControl), ch('_', kControl)}},

    // CSI and SS3 keys.
    {"csi arrows home end", {ESC + "[A" + ESC + "[B" + ESC + "[C" + ESC + "[D" + ESC + "[H" + ESC + "[F"},
     {key(KeyCode::Up), key(KeyCode::Down), key(KeyCode::Right), key(KeyCode::Left), key(KeyCode::Home), key(KeyCode::End)}},
    {"ss3 arrows home end", {ESC + "OA" + ESC + "OB" + ESC + "OC" + ESC + "OD" + ESC + "OH" + ESC + "OF"},
     {key(KeyCode::Up), key(KeyCode::Down), key(KeyCode::Right), key(KeyCode::Left), key(KeyCode::Home), key(KeyCode::End)}},
    {"modifier parameters", {ESC + "[1;5A" + ESC + "[1;2B" + ESC + "[1;3C" + ESC + "[1;8D" + ESC + "[1;6H"},
     {key(KeyCode::Up, kControl), key(KeyCode::Down, kShift), key(KeyCode::Right, kAlt),
      key(KeyCode::Left, kShift | kAlt | kControl), key(KeyCode::Home, kShift | kControl)}},
    {"meta bit ignored", {ESC + "[1;9A"}, {key(KeyCode::Up)}},
    {"tilde keys", {ESC + "[1~" + ESC + "[2~" + ESC + "[3~" + ESC + "[4~" + ESC + "[5~" + ESC + "[6~" + ESC + "[7~" + ESC + "[8~"},
     {key(KeyCode::Home), key(KeyCode::Insert), key(KeyCode::Delete), key(KeyCode::End), key(KeyCode::PageUp),
      key(KeyCode::PageDown), key(KeyCode::Home), key(KeyCode::End)}},
    {"tilde keys with modifiers", {ESC + "[3;5~" + ESC + "[6;2~" + ESC + "[15;3~"},
     {key(KeyCode::Delete, kControl), key(KeyCode::PageDown, kShift), fkey(5, kAlt)}},
    {"function keys tilde form",
     {ESC + "[11~" + ESC + "[12~" + ESC + "[13~" + ESC + "[14~" + ESC + "[15~" + ESC + "[17~" + ESC + "[18~" + ESC +
      "[19~" + ESC + "[20~" + ESC + "[21~" + ESC + "[23~" + ESC + "[24~"},
     {fkey(1), fkey(2), fkey(3), fkey(4), fkey(5), fkey(6), fkey(7), fkey(8), fkey(9), fkey(10), fkey(11), fkey(12)}},
    {"function keys ss3 and csi letter forms", {ESC + "OP" + ESC + "OQ" + ESC + "OR" + ESC + "OS" + ESC + "[1;5P" + ESC + "O2S"},
     {fkey(1), fkey(2), fkey(3), fkey(4), fkey(1, kControl), fkey(4, kShift)}},
    {"linux console function keys", {ESC + "[[A" + ESC + "[[E"}, {fkey(1), fkey(5)}},
    {"backtab", {ESC + "[Z"}, {key(KeyCode::BackTab, kShift)}},
    {"ss3 keypad enter", {ESC + "OM"}, {key(KeyCode::Enter)}},
    {"release kind from sub-parameter", {ESC + "[1;5:3A"},
     {KeyEvent{KeyCode::Up, 0, 0, kControl, KeyKind::Release}}},

    // Alt as an ESC prefix.
    {"alt prefix", {ESC + "x" + ESC + "Q" + ESC + "\xc3\xa9" + ESC + "\x03" + ESC + "\x7f" + ESC + "\r"},
     {ch('x', kAlt), ch('Q', kAlt), ch(U'é', kAlt), ch('c', kAlt | kControl), key(KeyCode::Backspace, kAlt),
      key(KeyCode::Enter, kAlt)}},
    {"alt with a sequence", {ESC + ESC + "[A" + ESC + ESC + "OB"}, {key(KeyCode::Up, kAlt), key(KeyCode::Down, kAlt)}},

    // Lone Esc and the delay.
    {"lone esc waits for the delay", {ESC}, {}},
    {"lone esc after the delay", {ESC}, {key(KeyCode::Esc)}, true},
    {"esc then a key in one read is alt", {ESC + "j"}, {ch('j', kAlt)}},
    {"double esc after the delay", {ESC + ESC}, {key(KeyCode::Esc, kAlt)}, true},
    {"triple esc after the delay", {ESC + ESC + ESC}, {key(KeyCode::Esc, kAlt), key(KeyCode::Esc)}, true},
    {"sequence split across reads", {ESC, "[", "1;", "5", "A"}, {key(KeyCode::Up, kControl)}},
    {"unfinished sequence dropped by the delay", {ESC + "[1;5"}, {}, true},
    {"esc bracket alone dropped by the delay", {ESC + "["}, {}, true},

    // Mouse, focus and paste are events of their own, never keys.
    {"x10 mouse", {ESC + "[M qq" + "x"}, {MouseEvent{}, ch('x')}},
    {"x10 mouse split", {ESC + "[M", " ", "q", "q"}, {MouseEvent{}}},
    {"sgr mouse", {ESC + "[<0;10;20M" + ESC + "[<0;10;20m" + ESC + "[<64;113;113M"}, {MouseEvent{}, MouseEvent{}, MouseEvent{}}},
    {"urxvt mouse", {ESC + "[32;113;5M"}, {MouseEvent{}}},
    {"focus", {ESC + "[I" + ESC + "[O"}, {FocusEvent{true}, FocusEvent{false}}},
    {"paste is not keys", {ESC + "[200~hello q\r\x03" + ESC + "[201~x"}, {PasteEvent{"hello q\r\x03"}, ch('x')}},
    {"paste holds escape sequences and near end markers",
     {ESC + "[200~a" + ESC + "[A" + ESC + "[201" + ESC + ESC + "[20~b" + ESC + "[201~"},
     {PasteEvent{"a" + ESC + "[A" + ESC + "[201" + ESC + ESC + "[20~b"}}},
    {"paste end marker split", {ESC + "[20", "0~ab" + ESC, "[2", "01", "~q"}, {PasteEvent{"ab"}, ch('q')}},
    {"empty paste", {ESC + "[200~" + ESC + "[201~"}, {PasteEvent{""}}},

    // Malformed and unknown input is dropped whole.
    {"unknown final byte", {ESC + "[9999X" + ESC + "[5y" + ESC + "[t" + "k"}, {ch('k')}},
    {"private and intermediate sequences", {ESC + "[?1;2c" + ESC + "[>0;95;0c" + ESC + "[1 q" + ESC + "[1$2~" + "k"}, {ch('k')}},
    {"cursor position report is no key", {ESC + "[24;80R" + ESC + "[2;5A"}, {}},
    {"stray paste end", {ESC + "[201~" + "k"}, {ch('k')}},
    {"too many parameters", {ESC + "[1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17A" + "k"}, {ch('k')}},
    {"overlong sequence skipped to its final byte", {ESC + "[" + std::string(300, '1') + "A" + "k"}, {ch('k')}},
    {"control byte cuts a sequence short", {ESC + "[1;5\x03"}, {ch('c', kControl)}},
    {"esc cuts a sequence short", {ESC + "[1;" + ESC + "[B"}, {key(KeyCode::Down)}},
    {"non-ascii byte cuts a sequence short", {ESC + "[12\xc3\xa9"}, {ch(U'é')}},
    {"unknown ss3", {ESC + "Oz" + ESC + "O\x03"}, {ch('c', kControl)}},
    {"unknown tilde number", {ESC + "[99~" + ESC + "[16~" + ESC + "[~"}, {}},
};

TEST(InputParser, Table) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse(c.chunks, c.flush), c.expected);
  }
}

// However the bytes are split into reads, the events are the same.
TEST(InputParser, ByteByByteGivesTheSameEvents) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse_bytewise(c.chunks, c.flush), c.expected);
  }
}

TEST(InputParser, PendingTracksHeldInput) {
  InputParser p;
  EXPECT_FALSE(p.has_pending());
  p.feed("a");
  EXPECT_FALSE(p.has_pending());
  p.feed(ESC);
  EXPECT_TRUE(p.has_pending());
  EXPECT_EQ(p.pending_delay(), InputParser::kEscDelay);
  p.feed("[");
  EXPECT_TRUE(p.has_pending());
  p.feed("A");
  EXPECT_FALSE(p.has_pending());
  p.feed("\xe2");
  EXPECT_TRUE(p.has_pending());
  p.flush_pending();
  EXPECT_FALSE(p.has_pending());
  EXPECT_EQ(drain(p), (Events{ch('a'), key(KeyCode::Up)}));
  // Flushing with nothing held does nothing.
  p.flush_pending();
  EXPECT_FALSE(p.has_event());
}

TEST(InputParser, PasteIsBounded) {
  InputParser p;
  p.feed(ESC + "[200~");
  const std::string chunk(64 * 1024, 'q');
  for (int i = 0; i < 40; ++i) p.feed(chunk);  // 2.5 MiB
  EXPECT_FALSE(p.has_event());
  p.feed(ESC + "[201~z");
  auto events = drain(p);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(std::get<PasteEvent>(events[0]).text.size(), InputParser::kMaxPaste);
  EXPECT_EQ(events[1], Event(ch('z')));
}

// A paste whose end marker never comes closes after its timeout; keys work again.
TEST(InputParser, UnterminatedPasteClosesOnFlush) {
  InputParser p;
  p.feed(ESC + "[200~abc" + ESC + "[20");
  EXPECT_TRUE(p.has_pending());
  EXPECT_EQ(p.pending_delay(), InputParser::kPasteTimeout);
  EXPECT_FALSE(p.has_event());
  p.flush_pending();
  p.feed("q");
  EXPECT_EQ(drain(p), (Events{PasteEvent{"abc" + ESC + "[20"}, ch('q')}));
}

// A sequence that never ends holds no more than a bounded buffer and turns into no keys.
TEST(InputParser, EndlessSequenceIsSkippedNotBuffered) {
  InputParser p;
  p.feed(ESC + "[");
  const std::string digits(4096, '7');
  for (int i = 0; i < 256; ++i) p.feed(digits);  // 1 MiB of parameter bytes
  EXPECT_FALSE(p.has_event());
  EXPECT_TRUE(p.has_pending());
  p.feed(";5Ak");  // the final byte ends it
  EXPECT_EQ(drain(p), (Events{ch('k')}));

  // Cut off by the delay instead.
  p.feed(ESC + "[" + digits);
  p.flush_pending();
  p.feed("7");
  EXPECT_EQ(drain(p), (Events{ch('7')}));
}

// Random bytes (rich in ESC and sequence bytes) give the same events however they are
// split, and never wedge the parser: once the delay passes, keys come through.
TEST(InputParser, RandomInputIsSplitProofAndRecovers) {
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const std::string alphabet = "\x1b\x1b\x1b[[[O;;0123456789~ABHMPZIO<m\x03\x7fq\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xff\x80";
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::string input;
    for (int i = 0; i < 200; ++i)
      input.push_back(round % 3 == 0 ? char(next()) : alphabet[next() % alphabet.size()]);
    if (round % 10 == 0) input.insert(next() % input.size(), "\x1b[200~");

    const Events whole = parse({input}, true);
    EXPECT_EQ(parse_bytewise({input}, true), whole);
    std::vector<std::string> chunks;
    for (size_t at = 0; at < input.size();) {
      const size_t n = 1 + next() % 9;
      chunks.push_back(input.substr(at, n));
      at += n;
    }
    EXPECT_EQ(parse(chunks, true), whole);

    InputParser p;
    p.feed(input);
    p.flush_pending();
    drain(p);
    p.feed("q");
    EXPECT_EQ(drain(p), (Events{ch('q')}));
  }
}

}  // namespace
