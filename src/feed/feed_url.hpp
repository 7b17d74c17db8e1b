#pragma once
// The parts of a ws:// or wss:// feed URL that a connection attempt needs.
#include <optional>
#include <string>
#include <string_view>

namespace feed {

struct FeedUrl {
  bool tls = false;          // wss
  std::string host;          // for resolving and certificate checks; IPv6 without brackets
  bool host_is_ip = false;   // an IPv4 or IPv6 literal
  std::string port;          // decimal, the default one filled in
  std::string host_header;   // Host header value: host as written, ":port" unless default
  std::string target;        // path and query; "/" when the path is empty

  friend bool operator==(const FeedUrl&, const FeedUrl&) = default;
};

// Nothing when the text is not a URL, the scheme is not ws or wss (any case), the host
// is missing, or the port is not 1 to 65535. User information and a fragment are
// ignored: neither is sent.
std::optional<FeedUrl> parse_feed_url(std::string_view text);

}  // namespace feed
