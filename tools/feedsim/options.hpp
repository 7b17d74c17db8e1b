#pragma once
// feedsim's command line.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace feedsim {

struct Options {
  std::string host = "127.0.0.1";
  uint16_t port = 8765;
  std::string path = "/ws";
  size_t symbols = 3000;
  uint64_t seed = 1;
  double rate = 10;        // updates per second per client; 0: none
  size_t batch = 50;       // rows per update
  size_t afterhours = 20;  // rows of the after-hours list
  double ping_interval = 5;
  double snapshot_interval = 60;
  std::string tls_cert;
  std::string tls_key;
  size_t max_queue = size_t{32} << 20;  // bytes waiting for one client before it is dropped
  double drop_every = 0;
  double garbage_every = 0;
  double oversize_every = 0;
  size_t oversize_bytes = (size_t{64} << 20) + 1;
  bool quiet = false;
};

// Parses the command line. On --help, --version or a usage error, the text is printed
// and the exit status is returned instead of options (0, or 2 for a usage error).
std::optional<Options> parse_options(int argc, char** argv, int& exit_status);

}  // namespace feedsim
