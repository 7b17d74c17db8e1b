#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "screen/panels.hpp"
#include "screen_support.hpp"
#include "state/app.hpp"

namespace screen {
namespace {

using namespace screen_test;

// Rows of the buffer that hold a top-left box corner.
std::vector<uint16_t> box_tops(const tui::Buffer& buf) {
  std::vector<uint16_t> ys;
  for (uint16_t y = 0; y < buf.height(); ++y)
    if (buf.at(0, y).symbol == "┌") ys.push_back(y);
  return ys;
}
std::vector<uint16_t> box_bottoms(const tui::Buffer& buf) {
  std::vector<uint16_t> ys;
  for (uint16_t y = 0; y < buf.height(); ++y)
    if (buf.at(0, y).symbol == "└") ys.push_back(y);
  return ys;
}

TEST(Frame, BandsFollowTheScreenHeight) {
  const struct {
    uint16_t height;
    std::vector<uint16_t> tops, bottoms;
  } cases[] = {
      {24, {0, 6}, {5, 23}},  // summary rows 0-5, table rows 6-23
      {12, {0, 6}, {5, 11}},  // the table's inner height is 4: it draws its contents
      {6, {0}, {5}},          // table band of height 0
      {4, {0}, {3}},          // the summary takes all four rows
  };
  for (const auto& c : cases) {
    auto shared = state::make_app(50);
    tui::Buffer buf(100, c.height);
    draw_frame(buf, shared);
    EXPECT_EQ(box_tops(buf), c.tops) << c.height;
    EXPECT_EQ(box_bottoms(buf), c.bottoms) << c.height;
    // Both bands span the full width.
    for (uint16_t y : c.tops) EXPECT_EQ(buf.at(99, y).symbol, "┐") << c.height;
    EXPECT_NE(row_text(buf, 0).find(" Ambertide Scanner "), std::string::npos);
  }
}

TEST(Frame, TwentyFourRows) {
  auto shared = state::make_app(50);
  tui::Buffer buf(100, 24);
  draw_frame(buf, shared);
  EXPECT_NE(row_text(buf, 1).find("Disconnected"), std::string::npos);
  EXPECT_NE(row_text(buf, 4).find("HOD Breaks:  0 symbols"), std::string::npos);
  EXPECT_NE(row_text(buf, 7).find("[1:Volume]"), std::string::npos);
  EXPECT_NE(row_text(buf, 9).find(" Sym     Last"), std::string::npos);
  EXPECT_NE(row_text(buf, 22).find("q:quit  0/0"), std::string::npos);
}

TEST(Frame, RendersUnderTheLockAndReleasesIt) {
  auto shared = state::make_app(50);
  tui::Buffer buf(100, 24);
  std::unique_lock held(shared->mutex);
  auto done = std::async(std::launch::async, [&] { draw_frame(buf, shared); });
  // While the lock is held elsewhere the frame cannot be rendered.
  EXPECT_EQ(done.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  held.unlock();
  EXPECT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_TRUE(shared->mutex.try_lock());
  shared->mutex.unlock();
}

}  // namespace
}  // namespace screen
