#include <array>
#include <mutex>

#include "screen/panels.hpp"
#include "tui/widgets.hpp"

namespace screen {

void draw_frame(tui::Buffer& buf, const state::AppHandle& app) {
  // Layout needs no state, so it is done before the lock; the lock covers exactly the
  // two panels, so both see one state and the feed never waits on terminal output.
  static constexpr std::array<tui::Constraint, 2> kBands = {tui::Constraint::length(6),
                                                            tui::Constraint::min(0)};
  const std::vector<tui::Rect> bands = tui::split_vertical(buf.area(), kBands);
  std::lock_guard lock(app->mutex);
  render_summary(app->app, buf, bands[0]);
  render_table(app->app, buf, bands[1]);
}

}  // namespace screen
