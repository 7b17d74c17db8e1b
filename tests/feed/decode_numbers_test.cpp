// The rewrite of numbers the JSON parser cannot hold, checked on the text it produces.
#include <gtest/gtest.h>

#include <string>

#include "feed/decode_numbers.hpp"

namespace {

TEST(WidenNumbers, RewritesOnlyWellFormedLiteralsOutsideTexts) {
  struct Row {
    std::string in;
    const char* out;  // nullptr: nothing to rewrite
  };
  const Row rows[] = {
      {R"({"a":18446744073709551616})", R"({"a":18446744073709551616.0})"},
      {R"([-9223372036854775809,1])", R"([-9223372036854775809.0,1])"},
      {R"([18446744073709551615,-9223372036854775808,12,1.5e300])", nullptr},  // all fit
      {R"([123456789012345678901.5,1e-400])", nullptr},                      // the parser takes these
      {R"([1e400,-2.5E+999,1)" + std::string(400, '0') + "]", R"(["","",""])"},
      {R"(["123456789012345678901", "a\"123456789012345678901", 123456789012345678901])",
       R"(["123456789012345678901", "a\"123456789012345678901", 123456789012345678901.0])"},
      {R"(["\\", 123456789012345678901])", R"(["\\", 123456789012345678901.0])"},  // escaped backslash ends nothing
      {R"([0123456789012345678901,123456789012345678901.,--123456789012345678901])", nullptr},  // malformed stays
      {R"("unterminated 123456789012345678901)", nullptr},
      {R"(0.0e99999999999999999999)", nullptr},  // zero whatever the exponent
  };
  for (const Row& r : rows) {
    std::string out;
    const bool changed = feed::detail::widen_numbers(r.in, out);
    if (!r.out) {
      EXPECT_FALSE(changed) << r.in << " became " << out;
    } else {
      EXPECT_TRUE(changed) << r.in;
      EXPECT_EQ(out, r.out) << r.in;
    }
  }
}

}  // namespace
