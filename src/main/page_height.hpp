#pragma once
// Rows that one page key scrolls: the number of data rows the table shows, which is the
// terminal height less the 12 rows taken by the summary band, the table's header and the
// rest of the table band's frame. With fewer the last rows of a long list could never be
// scrolled into view.
#include <cstdint>
#include <optional>

namespace app_main {

inline constexpr uint16_t kScreenRowsOutsideTable = 12;
inline constexpr uint16_t kPageHeightUnknownSize = 20;

// `rows`: the terminal's height, or nothing when the size query failed.
constexpr uint16_t page_height(std::optional<uint16_t> rows) {
  if (!rows) return kPageHeightUnknownSize;
  return *rows > kScreenRowsOutsideTable ? uint16_t(*rows - kScreenRowsOutsideTable) : 0;
}

}  // namespace app_main
