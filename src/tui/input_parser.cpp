#include "tui/input_parser.hpp"

#include <array>
#include <cstdint>

namespace tui {
namespace {

constexpr char kEsc = '\x1b';
constexpr std::string_view kPasteEnd = "\x1b[201~";

// The outcome of parsing one item at the front of the input.
struct Parsed {
  bool complete = false;       // false: the item needs more bytes
  std::size_t used = 0;        // bytes consumed when complete
  std::optional<Event> event;  // nothing for dropped input
  bool paste_start = false;    // the item opened a bracketed paste
  bool skip = false;           // an overlong sequence: skip the rest up to its final byte
};

Parsed incomplete() { return Parsed{}; }
Parsed dropped(std::size_t used) { return Parsed{true, used, std::nullopt, false, false}; }
Parsed emit(std::size_t used, Event e) { return Parsed{true, used, std::move(e), false, false}; }

bool is_final(unsigned char c) { return c >= 0x40 && c <= 0x7e; }
bool is_param(unsigned char c) { return c >= 0x30 && c <= 0x3f; }
bool is_intermediate(unsigned char c) { return c >= 0x20 && c <= 0x2f; }

// One numeric CSI parameter with its first ':' sub-parameter; absent values are 0.
struct Param {
  uint32_t value = 0;
  uint32_t sub = 0;
  bool present = false;
};

struct Params {
  std::array<Param, InputParser::kMaxParams> items{};
  std::size_t count = 0;
  const Param& operator[](std::size_t i) const {
    static const Param kAbsent{};
    return i < count ? items[i] : kAbsent;
  }
};

// "1;5:2" and the like. Fails on any other byte or on too many parameters.
std::optional<Params> parse_params(std::string_view text) {
  Params out;
  if (text.empty()) return out;
  constexpr uint32_t kCap = 1'000'000;  // larger values saturate; none is meaningful
  Param cur;
  int field = 0;  // 0: value, 1: first sub-parameter, 2+: ignored sub-parameters
  auto push = [&]() -> bool {
    if (out.count == out.items.size()) return false;
    out.items[out.count++] = cur;
    cur = Param{};
    field = 0;
    return true;
  };
  for (char ch : text) {
    if (ch >= '0' && ch <= '9') {
      uint32_t& v = field == 0 ? cur.value : cur.sub;
      if (field <= 1) v = std::min(kCap, v * 10 + uint32_t(ch - '0'));
      if (field == 0) cur.present = true;
    } else if (ch == ':') {
      ++field;
    } else if (ch == ';') {
      if (!push()) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (!push()) return std::nullopt;
  return out;
}

// A modifier parameter is 1 + a bitmask of shift 1, alt 2, control 4 (higher bits,
// such as meta, are ignored).
uint8_t modifiers_of(const Param& p) {
  if (!p.present || p.value == 0) return kNoModifier;
  return uint8_t((p.value - 1) & (kShift | kAlt | kControl));
}

KeyKind kind_of(const Param& p) {
  switch (p.sub) {
    case 2: return KeyKind::Repeat;
    case 3: return KeyKind::Release;
    default: return KeyKind::Press;
  }
}

KeyEvent with(KeyEvent k, const Param& mod) {
  k.modifiers |= modifiers_of(mod);
  k.kind = kind_of(mod);
  return k;
}

KeyEvent fn_key(uint8_t n) {
  KeyEvent k = KeyEvent::key(KeyCode::F);
  k.fn = n;
  return k;
}

// Keys named by a letter in CSI (ESC [ 1 ; m X) and SS3 (ESC O X) forms.
std::optional<KeyEvent> letter_key(char c) {
  switch (c) {
    case 'A': return KeyEvent::key(KeyCode::Up);
    case 'B': return KeyEvent::key(KeyCode::Down);
    case 'C': return KeyEvent::key(KeyCode::Right);
    case 'D': return KeyEvent::key(KeyCode::Left);
    case 'H': return KeyEvent::key(KeyCode::Home);
    case 'F': return KeyEvent::key(KeyCode::End);
    case 'P': return fn_key(1);
    case 'Q': return fn_key(2);
    case 'R': return fn_key(3);
    case 'S': return fn_key(4);
    default: return std::nullopt;
  }
}

// Keys of the ESC [ n ~ form.
std::optional<KeyEvent> tilde_key(uint32_t n) {
  switch (n) {
    case 1: case 7: return KeyEvent::key(KeyCode::Home);
    case 2: return KeyEvent::key(KeyCode::Insert);
    case 3: return KeyEvent::key(KeyCode::Delete);
    case 4: case 8: return KeyEvent::key(KeyCode::End);
    case 5: return KeyEvent::key(KeyCode::PageUp);
    case 6: return KeyEvent::key(KeyCode::PageDown);
    case 11: case 12: case 13: case 14: case 15: return fn_key(uint8_t(n - 10));
    case 17: case 18: case 19: case 20: case 21: return fn_key(uint8_t(n - 11));
    case 23: case 24: return fn_key(uint8_t(n - 12));
    default: return std::nullopt;
  }
}

// A complete CSI sequence of `used` bytes: parameter bytes, intermediate bytes, final byte.
Parsed interpret_csi(std::size_t used, std::string_view params_text, std::string_view intermediates,
                     char final_byte) {
  if (!intermediates.empty()) return dropped(used);
  if (!params_text.empty() && (params_text[0] == '<' || params_text[0] == '=' ||
                               params_text[0] == '>' || params_text[0] == '?')) {
    // SGR mouse report: ESC [ < b ; x ; y M (press) or m (release).
    if (params_text[0] == '<' && (final_byte == 'M' || final_byte == 'm') &&
        parse_params(params_text.substr(1)))
      return emit(used, MouseEvent{});
    return dropped(used);
  }
  auto parsed = parse_params(params_text);
  if (!parsed) return dropped(used);
  const Params& p = *parsed;

  if (auto key = letter_key(final_byte)) {
    // ESC [ X or ESC [ 1 ; m X. Anything else with these finals (a cursor position
    // report ESC [ row ; col R, say) is not a key.
    if (p.count > 2 || (p[0].present && p[0].value != 1)) return dropped(used);
    return emit(used, with(*key, p[1]));
  }
  switch (final_byte) {
    case 'Z': {
      if (p.count > 2 || (p[0].present && p[0].value != 1)) return dropped(used);
      KeyEvent k = with(KeyEvent::key(KeyCode::BackTab), p[1]);
      k.modifiers |= kShift;
      return emit(used, k);
    }
    case '~': {
      if (p.count == 0 || p.count > 2) return dropped(used);
      if (p.count == 1 && p[0].value == 200) {
        Parsed out = dropped(used);
        out.paste_start = true;
        return out;
      }
      auto key = tilde_key(p[0].value);
      if (!key) return dropped(used);  // includes a stray paste end (201)
      return emit(used, with(*key, p[1]));
    }
    case 'I':
    case 'O':
      if (p.count != 0) return dropped(used);
      return emit(used, FocusEvent{final_byte == 'I'});
    case 'M':
      // urxvt mouse report: ESC [ b ; x ; y M.
      if (p.count == 3) return emit(used, MouseEvent{});
      return dropped(used);
    default:
      return dropped(used);
  }
}

// `in` starts with ESC [.
Parsed parse_csi(std::string_view in) {
  if (in.size() < 3) return incomplete();
  const unsigned char first = static_cast<unsigned char>(in[2]);
  if (first == 'M') {
    // X10 mouse report: ESC [ M and three raw bytes.
    if (in.size() < 6) return incomplete();
    return emit(6, MouseEvent{});
  }
  if (first == '[') {
    // Linux console F1-F5: ESC [ [ A..E.
    if (in.size() < 4) return incomplete();
    const unsigned char c = static_cast<unsigned char>(in[3]);
    if (c >= 'A' && c <= 'E') return emit(4, fn_key(uint8_t(c - 'A' + 1)));
    return dropped(c >= 0x20 && c <= 0x7e ? 4 : 3);
  }
  std::size_t j = 2;
  std::size_t params_end = 2;
  bool misordered = false;  // a parameter byte after an intermediate byte
  while (j < in.size()) {
    if (j >= InputParser::kMaxSequence) {
      Parsed out = dropped(j);
      out.skip = true;
      return out;
    }
    const unsigned char c = static_cast<unsigned char>(in[j]);
    if (is_param(c)) {
      if (params_end != j) misordered = true;
      params_end = ++j;
    } else if (is_intermediate(c)) {
      ++j;
    } else if (is_final(c)) {
      if (misordered) return dropped(j + 1);
      return interpret_csi(j + 1, in.substr(2, params_end - 2), in.substr(params_end, j - params_end),
                           char(c));
    } else {
      // A control byte (or DEL, or a non-ASCII byte) cuts the sequence short; the byte
      // itself is left for normal parsing.
      return dropped(j);
    }
  }
  return incomplete();
}

// `in` starts with ESC O.
Parsed parse_ss3(std::string_view in) {
  std::size_t j = 2;
  while (j < in.size() && j < InputParser::kMaxSequence) {
    const unsigned char c = static_cast<unsigned char>(in[j]);
    if (c >= '0' && c <= '9') {
      ++j;
      continue;
    }
    if (c == ';') {
      ++j;
      continue;
    }
    if (!is_final(c)) return dropped(j);
    const std::size_t used = j + 1;
    // Some terminals put a modifier parameter here: ESC O 5 A, or ESC O 1 ; 5 A.
    auto params = parse_params(in.substr(2, j - 2));
    if (!params || params->count > 2) return dropped(used);
    const Param& mod = params->count == 2 ? (*params)[1] : (*params)[0];
    if (auto key = letter_key(char(c))) return emit(used, with(*key, mod));
    if (c == 'M') return emit(used, with(KeyEvent::key(KeyCode::Enter), mod));
    // Application keypad: ESC O j..y are * + , - . / 0..9, ESC O X is =.
    if (c >= 'j' && c <= 'y') return emit(used, with(KeyEvent::character(char32_t("*+,-./0123456789"[c - 'j'])), mod));
    if (c == 'X') return emit(used, with(KeyEvent::character(U'='), mod));
    return dropped(used);
  }
  if (j >= InputParser::kMaxSequence) {
    Parsed out = dropped(j);
    out.skip = true;
    return out;
  }
  return incomplete();
}

// One UTF-8 character at the front of `in` (first byte >= 0x80).
Parsed parse_utf8(std::string_view in) {
  const unsigned char b0 = static_cast<unsigned char>(in[0]);
  std::size_t len;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xbf;  // allowed range of the second byte
  if (b0 >= 0xc2 && b0 <= 0xdf) {
    len = 2;
    cp = b0 & 0x1f;
  } else if (b0 >= 0xe0 && b0 <= 0xef) {
    len = 3;
    cp = b0 & 0x0f;
    if (b0 == 0xe0) lo = 0xa0;  // overlong
    if (b0 == 0xed) hi = 0x9f;  // surrogates
  } else if (b0 >= 0xf0 && b0 <= 0xf4) {
    len = 4;
    cp = b0 & 0x07;
    if (b0 == 0xf0) lo = 0x90;  // overlong
    if (b0 == 0xf4) hi = 0x8f;  // above U+10FFFF
  } else {
    return dropped(1);  // a stray continuation byte or an impossible lead byte
  }
  for (std::size_t i = 1; i < len; ++i) {
    if (i >= in.size()) return incomplete();
    const unsigned char b = static_cast<unsigned char>(in[i]);
    const unsigned char min = i == 1 ? lo : 0x80, max = i == 1 ? hi : 0xbf;
    if (b < min || b > max) return dropped(i);  // the offending byte starts afresh
    cp = (cp << 6) | (b & 0x3f);
  }
  if (cp < 0xa0) return dropped(len);  // C1 controls are not characters
  return emit(len, KeyEvent::character(cp));
}

// One byte below 0x20 (not ESC) or DEL.
KeyEvent control_key(unsigned char b) {
  switch (b) {
    case 0x00: return KeyEvent::key(KeyCode::Null);
    case 0x08: case 0x7f: return KeyEvent::key(KeyCode::Backspace);
    case 0x09: return KeyEvent::key(KeyCode::Tab);
    case 0x0a: case 0x0d: return KeyEvent::key(KeyCode::Enter);
    case 0x1c: return KeyEvent::character(U'\\', kControl);
    case 0x1d: return KeyEvent::character(U']', kControl);
    case 0x1e: return KeyEvent::character(U'^', kControl);
    case 0x1f: return KeyEvent::character(U'_', kControl);
    default: return KeyEvent::character(char32_t(U'a' + (b - 1)), kControl);  // 0x01..0x1a
  }
}

// One item at the front of `in` (not empty). `alt_prefix`: an ESC here may prefix a key
// with Alt; false inside such a prefix, so ESC ESC ESC is Alt+Esc and then a lone ESC.
Parsed parse_one(std::string_view in, bool alt_prefix) {
  const unsigned char b = static_cast<unsigned char>(in[0]);
  if (b == kEsc) {
    if (in.size() < 2) return incomplete();
    if (in[1] == '[') return parse_csi(in);
    if (in[1] == 'O') return parse_ss3(in);
    if (!alt_prefix) return emit(1, KeyEvent::key(KeyCode::Esc));
    Parsed inner = parse_one(in.substr(1), false);
    if (!inner.complete) return inner;
    inner.used += 1;
    if (inner.event)
      if (auto* key = std::get_if<KeyEvent>(&*inner.event)) key->modifiers |= kAlt;
    return inner;
  }
  if (b < 0x20 || b == 0x7f) return emit(1, control_key(b));
  if (b < 0x80) return emit(1, KeyEvent::character(char32_t(b)));
  return parse_utf8(in);
}

}  // namespace

void InputParser::feed(std::string_view bytes) {
  std::string rest;  // bytes left over when the mode changes mid-input
  while (!bytes.empty()) {
    if (mode_ == Mode::Paste) {
      bytes = feed_paste(bytes);
      continue;
    }
    if (mode_ == Mode::Skip) {
      bytes = feed_skip(bytes);
      continue;
    }
    pending_.append(bytes);
    bytes = {};
    std::size_t off = 0;
    while (off < pending_.size()) {
      Parsed p = parse_one(std::string_view(pending_).substr(off), true);
      if (!p.complete) break;
      off += p.used;
      if (p.event) events_.push_back(std::move(*p.event));
      if (p.paste_start) {
        mode_ = Mode::Paste;
        break;
      }
      if (p.skip) {
        mode_ = Mode::Skip;
        break;
      }
    }
    if (mode_ == Mode::Normal) {
      pending_.erase(0, off);  // only an unfinished item stays, shorter than kMaxSequence
      break;
    }
    rest.assign(pending_, off);
    pending_.clear();
    bytes = rest;
    // `rest` is not written again until `bytes` is consumed: the branches above read it
    // and the append copies it into pending_ before the next assign.
  }
}

std::string_view InputParser::feed_skip(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (is_param(c) || is_intermediate(c)) continue;
    mode_ = Mode::Normal;
    return bytes.substr(is_final(c) ? i + 1 : i);
  }
  return {};
}

std::string_view InputParser::feed_paste(std::string_view bytes) {
  std::size_t start = 0;  // first byte of `bytes` not yet added to the paste text
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == kPasteEnd[paste_match_]) {
      if (paste_match_ == 0) {
        append_paste(bytes.substr(start, i - start));
        start = i;
      }
      if (++paste_match_ == kPasteEnd.size()) {
        events_.push_back(PasteEvent{std::move(paste_)});
        paste_.clear();
        paste_match_ = 0;
        mode_ = Mode::Normal;
        return bytes.substr(i + 1);
      }
      continue;
    }
    if (paste_match_ != 0) {
      // Not the end marker after all: what looked like its start is paste text.
      append_paste(kPasteEnd.substr(0, paste_match_));
      paste_match_ = 0;
      start = i;
      if (c == kPasteEnd[0]) {
        paste_match_ = 1;
        continue;
      }
    }
  }
  if (paste_match_ == 0) append_paste(bytes.substr(start));
  // A partly matched end marker is held in paste_match_ alone (its bytes are known).
  return {};
}

void InputParser::append_paste(std::string_view text) {
  if (paste_.size() >= kMaxPaste) return;
  paste_.append(text.substr(0, kMaxPaste - paste_.size()));
}

bool InputParser::has_pending() const { return mode_ != Mode::Normal || !pending_.empty(); }

std::chrono::milliseconds InputParser::pending_delay() const {
  return mode_ == Mode::Paste ? kPasteTimeout : kEscDelay;
}

void InputParser::flush_pending() {
  switch (mode_) {
    case Mode::Paste:
      append_paste(kPasteEnd.substr(0, paste_match_));
      paste_match_ = 0;
      events_.push_back(PasteEvent{std::move(paste_)});
      paste_.clear();
      break;
    case Mode::Skip:
      break;
    case Mode::Normal:
      if (pending_ == "\x1b")
        events_.push_back(KeyEvent::key(KeyCode::Esc));
      else if (pending_ == "\x1b\x1b")
        events_.push_back(KeyEvent::key(KeyCode::Esc, kAlt));
      break;
  }
  mode_ = Mode::Normal;
  pending_.clear();
}

std::optional<Event> InputParser::next_event() {
  if (events_.empty()) return std::nullopt;
  Event e = std::move(events_.front());
  events_.pop_front();
  return e;
}

}  // namespace tui
