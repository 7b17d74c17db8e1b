#include <mutex>

#include "screen/panels.hpp"

namespace screen {

// Empty frame until the panels land.
void draw_frame(tui::Buffer&, const state::AppHandle& app) { std::lock_guard lock(app->mutex); }

}  // namespace screen
