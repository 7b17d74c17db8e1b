#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "screen/top3.hpp"

namespace screen {
namespace {

// Top3 must give exactly the first three of a stable sort, largest first, including
// which of several equal keys make the cut.
TEST(Top3, MatchesStableSortThenFirstThree) {
  std::mt19937 rng(7);
  for (int round = 0; round < 500; ++round) {
    const size_t n = rng() % 12;
    const int distinct = 1 + int(rng() % 4);  // few distinct keys: many ties
    std::vector<std::pair<int, double>> items;
    for (size_t i = 0; i < n; ++i) items.emplace_back(int(i), double(int(rng() % distinct) - 1));

    Top3<int, double> top;
    for (const auto& [id, key] : items) top.offer(id, key);

    std::stable_sort(items.begin(), items.end(), [](auto& a, auto& b) { return a.second > b.second; });
    std::vector<int> want;
    for (size_t i = 0; i < std::min<size_t>(3, items.size()); ++i) want.push_back(items[i].first);
    const auto got = top.items();
    EXPECT_EQ(std::vector<int>(got.begin(), got.end()), want) << "round " << round;
  }
}

TEST(Top3, NotANumberRanksLast) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Top3<int, double> top;
  top.offer(1, nan);
  top.offer(2, -5.0);
  top.offer(3, nan);
  top.offer(4, 1.0);
  const auto got = top.items();
  EXPECT_EQ(std::vector<int>(got.begin(), got.end()), (std::vector<int>{4, 2, 1}));
}

}  // namespace
}  // namespace screen
