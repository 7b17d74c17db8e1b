#include "state/keys.hpp"

namespace state {

// Quit keys only, until the full key table lands.
bool handle_key(const tui::KeyEvent& key, App&, uint16_t) {
  if (key.code != tui::KeyCode::Char) return false;
  return key.ch == U'q' || (key.ch == U'c' && key.has(tui::kControl));
}

}  // namespace state
