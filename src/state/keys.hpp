#pragma once
#include <cstdint>

#include "state/app.hpp"
#include "tui/event.hpp"

namespace state {

// Applies one key to the view fields; true means quit.
bool handle_key(const tui::KeyEvent& key, App& app, uint16_t page_height);

}  // namespace state
