#include "feed/feed_url.hpp"

#include <boost/url/parse.hpp>
#include <boost/url/url_view.hpp>
#include <charconv>
#include <cstdint>

namespace feed {

std::optional<FeedUrl> parse_feed_url(std::string_view text) {
  namespace urls = boost::urls;
  auto parsed = urls::parse_uri(text);
  if (!parsed) return std::nullopt;
  const urls::url_view& u = *parsed;

  FeedUrl out;
  uint16_t default_port = 0;
  switch (u.scheme_id()) {
    case urls::scheme::ws: default_port = 80; break;
    case urls::scheme::wss: default_port = 443; out.tls = true; break;
    default: return std::nullopt;
  }
  if (!u.has_authority()) return std::nullopt;

  switch (u.host_type()) {
    case urls::host_type::name:
      out.host = u.host_name();
      break;
    case urls::host_type::ipv4:
      out.host = u.host_ipv4_address().to_string();
      out.host_is_ip = true;
      break;
    case urls::host_type::ipv6:
      out.host = u.host_ipv6_address().to_string();
      out.host_is_ip = true;
      break;
    default:  // none, IPvFuture
      return std::nullopt;
  }
  // A decoded %00 or an empty name can only fail later, in less obvious ways.
  if (out.host.empty() || out.host.find('\0') != std::string::npos) return std::nullopt;

  uint32_t port = default_port;
  if (u.has_port() && !u.port().empty()) {  // "host:" means the default port
    const std::string_view digits = u.port();
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value == 0 || value > 65535)
      return std::nullopt;
    port = value;
  }
  out.port = std::to_string(port);

  // RFC 6455 4.1: the Host header carries the port when it is not the scheme's default.
  out.host_header = std::string(u.encoded_host());
  if (port != default_port) out.host_header += ":" + out.port;

  out.target = std::string(u.encoded_path());
  if (out.target.empty()) out.target.push_back('/');
  // After an authority the path is empty or absolute; anything else was a bad port.
  if (out.target.front() != '/') return std::nullopt;
  if (u.has_query()) {
    out.target += '?';
    out.target += std::string_view(u.encoded_query());
  }
  return out;
}

}  // namespace feed
