#include "main/page_height.hpp"

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(PageHeight, DataRowsThatFitOrTwentyWhenUnknown) {
  struct Case {
    std::optional<uint16_t> rows;
    uint16_t expected;
  };
  const Case cases[] = {
      {std::nullopt, 20}, {0, 0}, {1, 0}, {11, 0}, {12, 0}, {13, 1}, {24, 12}, {42, 30}, {65535, 65523},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows ? int(*c.rows) : -1);
    EXPECT_EQ(app_main::page_height(c.rows), c.expected);
  }
}

}  // namespace
