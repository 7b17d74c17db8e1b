#pragma once
// Colours and text styles of the cell buffer.
#include <cstdint>
#include <optional>

namespace tui {

struct Color {
  enum class Kind : uint8_t { Default, Indexed, Rgb };
  Kind kind = Kind::Default;
  uint8_t index = 0;  // palette index for Indexed
  uint8_t r = 0, g = 0, b = 0;

  static constexpr Color reset() { return Color{}; }
  static constexpr Color indexed(uint8_t i) { return Color{Kind::Indexed, i, 0, 0, 0}; }
  static constexpr Color rgb(uint8_t r, uint8_t g, uint8_t b) { return Color{Kind::Rgb, 0, r, g, b}; }
  friend constexpr bool operator==(const Color&, const Color&) = default;
};

namespace colors {
inline constexpr Color kBlack = Color::indexed(0);
inline constexpr Color kRed = Color::indexed(1);
inline constexpr Color kGreen = Color::indexed(2);
inline constexpr Color kYellow = Color::indexed(3);
inline constexpr Color kCyan = Color::indexed(6);
inline constexpr Color kDarkGray = Color::indexed(8);
inline constexpr Color kWhite = Color::indexed(15);
}  // namespace colors

// A style patch: unset colours leave the cell's colour as it is, attributes add up.
struct Style {
  std::optional<Color> fg;
  std::optional<Color> bg;
  bool bold = false;
  bool underlined = false;

  constexpr Style with_fg(Color c) const { Style s = *this; s.fg = c; return s; }
  constexpr Style with_bg(Color c) const { Style s = *this; s.bg = c; return s; }
  constexpr Style with_bold() const { Style s = *this; s.bold = true; return s; }
  constexpr Style with_underlined() const { Style s = *this; s.underlined = true; return s; }
  // `over` applied on top of this style.
  constexpr Style patch(const Style& over) const {
    Style s = *this;
    if (over.fg) s.fg = over.fg;
    if (over.bg) s.bg = over.bg;
    s.bold = s.bold || over.bold;
    s.underlined = s.underlined || over.underlined;
    return s;
  }
  friend constexpr bool operator==(const Style&, const Style&) = default;
};

inline constexpr Style fg(Color c) { return Style{}.with_fg(c); }

}  // namespace tui
