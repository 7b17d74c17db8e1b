#include "main/cli.hpp"

#include <CLI/CLI.hpp>
#include <sstream>

namespace cli {

std::optional<uint64_t> parse_max_rows(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = uint64_t(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

ParseOutcome parse_args(int argc, const char* const* argv) {
  CLI::App app{"Terminal UI for Ambertide market scanner"};
  app.set_version_flag("-V,--version", std::string("tickerdeck ") + std::string(kVersion));

  Args args;
  std::string max_rows_text = std::to_string(kDefaultMaxRows);
  app.add_option("--url", args.url)->type_name("URL")->capture_default_str();
  // Checked by hand: the parser's own unsigned conversion wraps "-1" and saturates
  // values above 2^64-1.
  app.add_option("--max-rows", max_rows_text)
      ->type_name("MAX_ROWS")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](std::string& value) -> std::string {
            if (parse_max_rows(value)) return {};
            return "'" + value + "' is not an unsigned 64-bit integer";
          },
          "", "MAX_ROWS"));

  std::ostringstream out, err;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    // Help and version are successes; every other parse failure is a usage error.
    return Exit{code == 0 ? 0 : 2, out.str(), err.str()};
  }
  args.max_rows = *parse_max_rows(max_rows_text);
  return args;
}

}  // namespace cli
