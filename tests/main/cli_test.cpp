#include "main/cli.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

cli::ParseOutcome parse(std::vector<std::string> args) {
  args.insert(args.begin(), "tickerdeck");
  std::vector<const char*> argv;
  for (auto& a : args) argv.push_back(a.c_str());
  return cli::parse_args(int(argv.size()), argv.data());
}

TEST(Cli, DefaultsWithoutArguments) {
  auto outcome = parse({});
  ASSERT_TRUE(std::holds_alternative<cli::Args>(outcome));
  const auto& args = std::get<cli::Args>(outcome);
  EXPECT_EQ(args.url, "ws://scanner.local:8765/ws");
  EXPECT_EQ(args.max_rows, 50u);
}

struct Accepted {
  std::vector<std::string> argv;
  std::string url;
  uint64_t max_rows;
};

TEST(Cli, AcceptedValues) {
  const std::vector<Accepted> cases = {
      {{"--max-rows", "0"}, "ws://scanner.local:8765/ws", 0},
      {{"--max-rows", "+7"}, "ws://scanner.local:8765/ws", 7},
      {{"--max-rows=18446744073709551615"}, "ws://scanner.local:8765/ws", UINT64_MAX},
      {{"--url", "not a url at all"}, "not a url at all", 50},
      {{"--url=wss://h:1/p?q", "--max-rows=3"}, "wss://h:1/p?q", 3},
  };
  for (const auto& c : cases) {
    auto outcome = parse(c.argv);
    ASSERT_TRUE(std::holds_alternative<cli::Args>(outcome)) << c.argv[0];
    EXPECT_EQ(std::get<cli::Args>(outcome).url, c.url);
    EXPECT_EQ(std::get<cli::Args>(outcome).max_rows, c.max_rows);
  }
}

TEST(Cli, UsageErrorsExitWithStatus2) {
  const std::vector<std::vector<std::string>> cases = {
      {"--max-rows", "-1"},
      {"--max-rows=-1"},
      {"--max-rows", "abc"},
      {"--max-rows="},
      {"--max-rows", "18446744073709551616"},
      {"--max-rows", "1e3"},
      {"--max-rows", "++1"},
      {"--max-rows", " 5"},
      {"--url", "a", "--url", "b"},
      {"--max-rows", "1", "--max-rows", "2"},
      {"--bogus"},
      {"--url"},
      {"-u", "x"},
      {"stray"},
  };
  for (const auto& c : cases) {
    auto outcome = parse(c);
    ASSERT_TRUE(std::holds_alternative<cli::Exit>(outcome)) << c[0];
    const auto& exit = std::get<cli::Exit>(outcome);
    EXPECT_EQ(exit.status, 2) << c[0];
    EXPECT_TRUE(exit.out.empty());
    EXPECT_FALSE(exit.err.empty());
  }
}

TEST(Cli, HelpAndVersion) {
  for (const char* flag : {"-V", "--version"}) {
    auto outcome = parse({flag});
    ASSERT_TRUE(std::holds_alternative<cli::Exit>(outcome));
    EXPECT_EQ(std::get<cli::Exit>(outcome).status, 0);
    EXPECT_EQ(std::get<cli::Exit>(outcome).out, "tickerdeck 0.1.0\n");
  }
  for (const char* flag : {"-h", "--help"}) {
    auto outcome = parse({flag});
    ASSERT_TRUE(std::holds_alternative<cli::Exit>(outcome));
    const auto& exit = std::get<cli::Exit>(outcome);
    EXPECT_EQ(exit.status, 0);
    EXPECT_NE(exit.out.find("Terminal UI for Ambertide market scanner"), std::string::npos);
    EXPECT_NE(exit.out.find("Usage: tickerdeck"), std::string::npos);
    EXPECT_NE(exit.out.find("--url URL"), std::string::npos);
    EXPECT_NE(exit.out.find("--max-rows MAX_ROWS"), std::string::npos);
    EXPECT_NE(exit.out.find("--version"), std::string::npos);
  }
}

TEST(Cli, UsageLineNamesTheProgramAsInvoked) {
  const char* argv[] = {"/opt/bin/td", "--help"};
  auto outcome = cli::parse_args(2, argv);
  ASSERT_TRUE(std::holds_alternative<cli::Exit>(outcome));
  EXPECT_NE(std::get<cli::Exit>(outcome).out.find("Usage: /opt/bin/td"), std::string::npos);
}

}  // namespace
