#include "options.hpp"

#include <CLI/CLI.hpp>

namespace feedsim {

std::optional<Options> parse_options(int argc, char** argv, int& exit_status) {
  Options o;
  CLI::App app(
      "feedsim: a scanner server for trying tickerdeck and for checking a feed against. It serves\n"
      "simulated market data over WebSocket: on each connection a snapshot of every symbol and an\n"
      "after-hours list, then updates, pings and now and then a fresh snapshot. The same --seed gives\n"
      "every connection the same sequence of messages.",
      "feedsim");
  app.set_version_flag("-V,--version", "feedsim 0.1.0");
  app.add_option("--host", o.host, "address to listen on (IPv4 or IPv6 literal)")->capture_default_str();
  app.add_option("--port", o.port, "TCP port to listen on; 0 picks a free one (the address is printed)")
      ->capture_default_str();
  app.add_option("--path", o.path, "request path served; any other path is answered with 404")
      ->capture_default_str();
  app.add_option("--symbols", o.symbols, "symbols in the market")
      ->check(CLI::Range(size_t{0}, size_t{1'000'000}))
      ->capture_default_str();
  app.add_option("--seed", o.seed, "seed of the simulated market")->capture_default_str();
  app.add_option("--rate", o.rate, "update messages per second, per client; 0 sends none")
      ->check(CLI::Range(0.0, 100'000.0))
      ->capture_default_str();
  app.add_option("--batch", o.batch, "rows per update message")
      ->check(CLI::Range(size_t{0}, size_t{1'000'000}))
      ->capture_default_str();
  app.add_option("--afterhours", o.afterhours, "rows of the after-hours gainers list")
      ->check(CLI::Range(size_t{0}, size_t{100'000}))
      ->capture_default_str();
  app.add_option("--ping-interval", o.ping_interval, "seconds between ping messages; 0 sends none")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--snapshot-interval", o.snapshot_interval,
                 "seconds between fresh snapshots (each followed by a new after-hours list); 0: only the first")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  auto* cert = app.add_option("--tls-cert", o.tls_cert, "PEM certificate chain: serve wss:// instead of ws://")
                   ->check(CLI::ExistingFile);
  auto* key = app.add_option("--tls-key", o.tls_key, "PEM private key of --tls-cert")->check(CLI::ExistingFile);
  cert->needs(key);
  key->needs(cert);
  app.add_option("--max-queue", o.max_queue,
                 "bytes that may wait for one client; a client further behind is dropped")
      ->check(CLI::Range(size_t{1}, size_t{1} << 40))
      ->capture_default_str();
  app.add_option("--drop-every", o.drop_every,
                 "fault: end each connection this many seconds after it opened, without a closing\n"
                 "handshake (alternately a TCP close and a reset); 0: never")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--garbage-every", o.garbage_every,
                 "fault: every this many seconds send a message a client must drop (not JSON, a bad row,\n"
                 "an unknown type, binary that is not UTF-8, in turn); 0: never")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--oversize-every", o.oversize_every,
                 "fault: every this many seconds send a message of --oversize-bytes; 0: never")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--oversize-bytes", o.oversize_bytes,
                 "size of the --oversize-every message (default: one byte over tickerdeck's limit)")
      ->check(CLI::Range(size_t{32}, size_t{1} << 32))
      ->capture_default_str();
  app.add_flag("-q,--quiet", o.quiet, "print only the listening address, not each client");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    exit_status = app.exit(e) == 0 ? 0 : 2;
    return std::nullopt;
  }
  if (o.path.empty() || o.path.front() != '/') {
    std::fprintf(stderr, "--path: must start with /\n");
    exit_status = 2;
    return std::nullopt;
  }
  return o;
}

}  // namespace feedsim
