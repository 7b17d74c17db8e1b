// The fuzz target's invariants over its seed corpus and over every input it ever
// crashed on (kept in tests/feed/regressions/), so a fixed fault stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "decode_invariants.hpp"

namespace {

namespace fs = std::filesystem;

int check_directory(const fs::path& dir) {
  int checked = 0;
  if (!fs::is_directory(dir)) return checked;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const auto problem = decode_check::check(bytes.str());
    EXPECT_FALSE(problem.has_value()) << entry.path() << ": " << problem.value_or("");
    ++checked;
  }
  return checked;
}

TEST(DecodeCorpus, SeedCorpusKeepsTheInvariants) {
  EXPECT_GT(check_directory(fs::path(TICKERDECK_SOURCE_DIR) / "fuzz" / "corpus"), 0);
}

TEST(DecodeCorpus, KeptCrashInputsKeepTheInvariants) {
  check_directory(fs::path(TICKERDECK_SOURCE_DIR) / "tests" / "feed" / "regressions");
}

}  // namespace
