#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "screen/formats.hpp"
#include "screen/panels.hpp"
#include "state/tabs.hpp"
#include "tui/style.hpp"
#include "tui/widgets.hpp"

namespace screen {

namespace {

using namespace tui::colors;
using state::AhRow;
using state::SymbolRow;

constexpr tui::Color kStripe = tui::Color::rgb(20, 20, 28);

constexpr std::array<uint16_t, 10> kSymbolWidths = {7, 8, 8, 8, 7, 8, 8, 7, 8, 7};
constexpr std::array<std::string_view, 10> kSymbolHeaders = {
    " Sym   ", " Last   ", " Chg%   ", " Vol    ", " RVol  ",
    " Gap%   ", " HOD    ", " HOD#  ", " $Vol   ", " VPM   "};

constexpr std::array<uint16_t, 6> kAhWidths = {7, 8, 8, 8, 8, 8};
constexpr std::array<std::string_view, 6> kAhHeaders = {" Sym   ", " Last   ", " Chg%   ",
                                                        " Prev   ", " Vol    ", " $Vol   "};

// Cell texts: one space, then the value padded to fill the column. A longer value is
// not shortened here; the table cuts it at the column's edge.
std::string left(std::string_view text, uint16_t width) {
  return fmt::format(" {:<{}}", text, width - 1);
}
std::string right(std::string_view text, uint16_t width) {
  return fmt::format(" {:>{}}", text, width - 1);
}

tui::Style signed_fg(double v) {
  if (v > 0) return tui::fg(kGreen);
  if (v < 0) return tui::fg(kRed);
  return tui::fg(kWhite);  // zero, or not a number
}

tui::Span symbol_cell(const std::string& sym) {
  return {left(sym, 7), tui::fg(kWhite).with_bold()};
}

tui::Span optional_pct_cell(const std::optional<double>& v, uint16_t width) {
  if (!v) return {right("-", width), tui::fg(kDarkGray)};
  return {right(fmt_pct(*v), width), signed_fg(*v)};
}

tui::TableRow symbol_row(const SymbolRow& r) {
  const auto& w = kSymbolWidths;
  tui::TableRow row;
  row.cells.reserve(w.size());
  row.cells.push_back(symbol_cell(r.sym));
  row.cells.push_back({right(fmt_price(r.last), w[1]), {}});
  row.cells.push_back(optional_pct_cell(r.chg, w[2]));
  row.cells.push_back({right(fmt_volume(r.vol), w[3]), {}});
  if (r.rvol) {
    row.cells.push_back({right(fmt_rvol(*r.rvol), w[4]), tui::fg(*r.rvol >= 2.0 ? kCyan : kWhite)});
  } else {
    row.cells.push_back({right("-", w[4]), tui::fg(kDarkGray)});
  }
  row.cells.push_back(optional_pct_cell(r.gap, w[5]));
  row.cells.push_back({right(fmt_price(r.hod), w[6]), {}});
  row.cells.push_back({right(fmt::format("{}", r.hodc), w[7]), tui::fg(r.hodc != 0 ? kYellow : kDarkGray)});
  row.cells.push_back({right(fmt_dollars(r.dvol), w[8]), {}});
  row.cells.push_back({right(fmt_volume(r.vpm), w[9]), {}});
  return row;
}

tui::TableRow ah_row(const AhRow& r) {
  const auto& w = kAhWidths;
  tui::TableRow row;
  row.cells.reserve(w.size());
  row.cells.push_back(symbol_cell(r.sym));
  row.cells.push_back({right(fmt_price(r.last), w[1]), {}});
  row.cells.push_back({right(fmt_pct(r.chg), w[2]), signed_fg(r.chg)});
  row.cells.push_back({right(fmt_price(r.prev), w[3]), tui::fg(kDarkGray)});
  row.cells.push_back({right(fmt_volume(r.vol), w[4]), {}});
  row.cells.push_back({right(fmt_dollars(r.dvol), w[5]), {}});
  return row;
}

template <size_t N>
tui::TableRow header_row(const std::array<std::string_view, N>& texts, tui::Color fg) {
  tui::TableRow row;
  for (auto t : texts) row.cells.push_back({std::string(t), {}});
  row.style = tui::fg(fg).with_bold().with_underlined();
  return row;
}

tui::Line tab_bar(const state::App& app) {
  const tui::Style inactive = tui::fg(kDarkGray).with_bg(tui::Color::reset());
  tui::Line line;
  line.reserve(2 * state::TABS.size() + 4);
  for (size_t i = 0; i < state::TABS.size(); ++i) {
    if (i > 0) line.push_back({" ", {}});
    const bool active = app.tab == i;
    line.push_back({fmt::format("[{}]", state::TABS[i].label),
                    active ? tui::fg(kBlack).with_bg(kWhite).with_bold() : inactive});
  }
  line.push_back({" ", {}});
  line.push_back({"[9:AH]", app.tab == state::AH_TAB ? tui::fg(kBlack).with_bg(kCyan).with_bold() : inactive});
  if (app.search_mode) {
    line.push_back({"  ", {}});
    line.push_back({fmt::format("Search: {}_", app.search), tui::fg(kYellow)});
  } else if (!app.search.empty()) {
    line.push_back({"  ", {}});
    line.push_back({fmt::format("Filter: {}", app.search), tui::fg(kCyan)});
  }
  return line;
}

// Builds the rows that fit under the header, starting at `scroll` clamped to the last
// row, and draws the table. Returns the list length.
template <class Row, class MakeRow, size_t N>
uint64_t draw_rows(const std::vector<Row>& list, uint64_t scroll, MakeRow make_row,
                   const std::array<uint16_t, N>& widths, const tui::TableRow& header,
                   tui::Buffer& buf, tui::Rect area) {
  const uint64_t n = list.size();
  const uint64_t start = n == 0 ? 0 : std::min<uint64_t>(scroll, n - 1);
  // The window may run one row past what is drawn (the header takes a line); only
  // the rows that land on screen are formatted.
  const uint64_t shown = area.height > 0 ? area.height - 1u : 0u;
  const uint64_t end = std::min<uint64_t>(start + shown, n);
  std::vector<tui::TableRow> rows;
  rows.reserve(end - start);
  for (uint64_t i = start; i < end; ++i) {
    tui::TableRow row = make_row(list[i]);
    const bool odd = (i - start) % 2 == 1;
    row.style = tui::Style{}.with_bg(odd ? kStripe : tui::Color::reset());
    rows.push_back(std::move(row));
  }
  tui::draw_table(buf, area, widths, header, rows);
  return n;
}

}  // namespace

void render_table(const state::App& app, tui::Buffer& buf, tui::Rect area) {
  if (area.empty()) return;
  const tui::Rect inner = tui::draw_box(buf, area);
  if (inner.height < 4) return;

  static constexpr std::array<tui::Constraint, 4> kParts = {
      tui::Constraint::length(1), tui::Constraint::length(1), tui::Constraint::min(1),
      tui::Constraint::length(1)};
  const std::vector<tui::Rect> parts = tui::split_vertical(inner, kParts);

  tui::draw_line(buf, parts[0], tab_bar(app));

  uint64_t total = 0;
  // Only 0 to 7 have a TabDef; anything else (8, the after-hours tab) must not reach
  // get_rows.
  if (app.tab >= state::TABS.size()) {
    static const tui::TableRow header = header_row(kAhHeaders, kCyan);
    total = draw_rows(state::ah_visible_rows(app), app.scroll, ah_row, kAhWidths, header, buf, parts[2]);
  } else {
    static const tui::TableRow header = header_row(kSymbolHeaders, kWhite);
    total = draw_rows(state::get_rows(app), app.scroll, symbol_row, kSymbolWidths, header, buf, parts[2]);
  }

  render_footer(app.scroll, total, buf, parts[3]);
}

}  // namespace screen
