#include "state/keys.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "state/tabs.hpp"

namespace state {
namespace {

using tui::KeyCode;
using tui::KeyEvent;

bool is_scalar_value(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

void append_utf8(std::string& s, char32_t c) {
  if (c < 0x80) {
    s += char(c);
  } else if (c < 0x800) {
    s += char(0xC0 | (c >> 6));
    s += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += char(0xE0 | (c >> 12));
    s += char(0x80 | ((c >> 6) & 0x3F));
    s += char(0x80 | (c & 0x3F));
  } else {
    s += char(0xF0 | (c >> 18));
    s += char(0x80 | ((c >> 12) & 0x3F));
    s += char(0x80 | ((c >> 6) & 0x3F));
    s += char(0x80 | (c & 0x3F));
  }
}

// Removes the last UTF-8 sequence: its continuation bytes and the byte that leads them.
void pop_scalar(std::string& s) {
  if (s.empty()) return;
  size_t start = s.size() - 1;
  while (start > 0 && s.size() - start < 4 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
  s.erase(start);
}

uint64_t saturating_add(uint64_t a, uint64_t b) {
  return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

uint64_t saturating_sub(uint64_t a, uint64_t b) { return a > b ? a - b : 0; }

// The largest scroll that still fills a page; the row count is taken afresh because
// the feed may have changed the list since the last key.
uint64_t bottom_limit(const App& app, uint16_t page_height) {
  return saturating_sub(total_rows(app), page_height);
}

void search_mode_key(const KeyEvent& key, App& app) {
  switch (key.code) {
    case KeyCode::Char:
      // Modifiers do not matter here: Ctrl+C types a c. A code that is no Unicode
      // scalar value cannot be encoded, so it is dropped.
      if (!is_scalar_value(key.ch)) return;
      append_utf8(app.search, key.ch);
      app.scroll = 0;
      return;
    case KeyCode::Backspace:
      pop_scalar(app.search);
      app.scroll = 0;
      return;
    case KeyCode::Enter:
      app.search_mode = false;
      return;
    case KeyCode::Esc:
      app.search_mode = false;
      app.search.clear();
      app.scroll = 0;
      return;
    default:
      return;
  }
}

bool normal_mode_key(const KeyEvent& key, App& app, uint16_t page_height) {
  switch (key.code) {
    case KeyCode::Up:
      app.scroll = saturating_sub(app.scroll, 1);
      return false;
    case KeyCode::Down:
      app.scroll = std::min(saturating_add(app.scroll, 1), bottom_limit(app, page_height));
      return false;
    case KeyCode::PageUp:
      app.scroll = saturating_sub(app.scroll, page_height);
      return false;
    case KeyCode::PageDown:
      app.scroll = std::min(saturating_add(app.scroll, page_height), bottom_limit(app, page_height));
      return false;
    case KeyCode::Esc:
      app.search.clear();
      app.scroll = 0;
      return false;
    case KeyCode::Char:
      break;
    default:
      return false;
  }

  // Character keys: letters are case-sensitive; only c looks at Control.
  const char32_t c = key.ch;
  if (c == U'q') return true;
  if (c == U'c') return key.has(tui::kControl);
  if (c >= U'1' && c <= U'9') {
    app.tab = uint64_t(c - U'1');
    app.scroll = 0;
  } else if (c == U'k') {
    app.scroll = saturating_sub(app.scroll, 1);
  } else if (c == U'j') {
    app.scroll = std::min(saturating_add(app.scroll, 1), bottom_limit(app, page_height));
  } else if (c == U'/') {
    app.search_mode = true;
    app.search.clear();
    app.scroll = 0;
  }
  return false;
}

}  // namespace

bool handle_key(const KeyEvent& key, App& app, uint16_t page_height) {
  if (app.search_mode) {
    search_mode_key(key, app);
    return false;
  }
  return normal_mode_key(key, app, page_height);
}

}  // namespace state
