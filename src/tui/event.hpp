#pragma once
// Terminal input events as the backend delivers them. Only key events matter to the
// program; the others exist so the main loop can recognise and drop them.
#include <cstdint>
#include <string>
#include <variant>

namespace tui {

enum class KeyCode : uint8_t {
  Backspace,
  Enter,
  Left,
  Right,
  Up,
  Down,
  Home,
  End,
  PageUp,
  PageDown,
  Tab,
  BackTab,
  Delete,
  Insert,
  F,     // function key; KeyEvent::fn holds 1..12
  Char,  // KeyEvent::ch holds one Unicode scalar value
  Null,
  Esc,
};

// Modifier flags, combinable.
enum Modifier : uint8_t {
  kNoModifier = 0,
  kShift = 1,
  kAlt = 2,
  kControl = 4,
};

enum class KeyKind : uint8_t { Press, Repeat, Release };

struct KeyEvent {
  KeyCode code = KeyCode::Null;
  char32_t ch = 0;   // for KeyCode::Char
  uint8_t fn = 0;    // for KeyCode::F
  uint8_t modifiers = kNoModifier;
  KeyKind kind = KeyKind::Press;

  bool has(Modifier m) const { return (modifiers & m) != 0; }
  friend bool operator==(const KeyEvent&, const KeyEvent&) = default;

  static KeyEvent character(char32_t c, uint8_t mods = kNoModifier) {
    return KeyEvent{KeyCode::Char, c, 0, mods, KeyKind::Press};
  }
  static KeyEvent key(KeyCode code, uint8_t mods = kNoModifier) {
    return KeyEvent{code, 0, 0, mods, KeyKind::Press};
  }
};

struct MouseEvent {
  friend bool operator==(const MouseEvent&, const MouseEvent&) = default;
};
struct ResizeEvent {
  friend bool operator==(const ResizeEvent&, const ResizeEvent&) = default;
};
struct FocusEvent {
  bool gained = false;
  friend bool operator==(const FocusEvent&, const FocusEvent&) = default;
};
struct PasteEvent {
  std::string text;
  friend bool operator==(const PasteEvent&, const PasteEvent&) = default;
};

using Event = std::variant<KeyEvent, MouseEvent, ResizeEvent, FocusEvent, PasteEvent>;

}  // namespace tui
