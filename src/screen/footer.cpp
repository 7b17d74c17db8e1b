#include <fmt/format.h>

#include <algorithm>
#include <limits>

#include "screen/panels.hpp"
#include "tui/style.hpp"
#include "tui/widgets.hpp"

namespace screen {

void render_footer(uint64_t scroll, uint64_t total, tui::Buffer& buf, tui::Rect area) {
  using namespace tui::colors;
  // One-based number of the first row shown; saturates so the largest scroll value
  // cannot wrap round to 0, and never claims a row past the end.
  uint64_t first = scroll == std::numeric_limits<uint64_t>::max() ? scroll : scroll + 1;
  first = std::min(first, total);

  const tui::Style key = tui::fg(kYellow);
  const tui::Style plain{};
  const tui::Line line = {
      {"1-9", key},       {":tabs  ", plain},  {"↑↓jk", key}, {":scroll  ", plain},
      {"PgUp/PgDn", key}, {":page  ", plain},  {"/", key},    {":search  ", plain},
      {"Esc", key},       {":clear  ", plain}, {"q", key},    {":quit  ", plain},
      {fmt::format("{}/{}", first, total), tui::fg(kDarkGray)},
  };
  tui::draw_line(buf, area, line);
}

}  // namespace screen
