#pragma once
// The panels: each draws one area of the frame from the locked App and keeps nothing.
#include <cstdint>

#include "state/app.hpp"
#include "tui/buffer.hpp"
#include "tui/rect.hpp"

namespace screen {

void render_summary(const state::App& app, tui::Buffer& buf, tui::Rect area);
void render_table(const state::App& app, tui::Buffer& buf, tui::Rect area);
void render_footer(uint64_t scroll, uint64_t total, tui::Buffer& buf, tui::Rect area);

// The whole frame: bands split first, then both panels under one hold of the lock.
void draw_frame(tui::Buffer& buf, const state::AppHandle& app);

}  // namespace screen
