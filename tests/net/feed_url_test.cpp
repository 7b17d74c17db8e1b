#include "feed/feed_url.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using feed::FeedUrl;
using feed::parse_feed_url;

struct UrlCase {
  const char* text;
  std::optional<FeedUrl> want;
};

FeedUrl url(bool tls, std::string host, bool ip, std::string port, std::string host_header, std::string target) {
  return FeedUrl{tls, std::move(host), ip, std::move(port), std::move(host_header), std::move(target)};
}

TEST(FeedUrl, AcceptedFormsAndTheirParts) {
  const UrlCase cases[] = {
      {"ws://scanner.local:8765/ws", url(false, "scanner.local", false, "8765", "scanner.local:8765", "/ws")},
      {"ws://scanner.local/ws", url(false, "scanner.local", false, "80", "scanner.local", "/ws")},
      {"wss://scanner.local/feed", url(true, "scanner.local", false, "443", "scanner.local", "/feed")},
      {"wss://scanner.local:443/", url(true, "scanner.local", false, "443", "scanner.local", "/")},
      {"wss://scanner.local:80/", url(true, "scanner.local", false, "80", "scanner.local:80", "/")},
      {"ws://h", url(false, "h", false, "80", "h", "/")},
      {"ws://h:", url(false, "h", false, "80", "h", "/")},
      {"ws://h:0080/x", url(false, "h", false, "80", "h", "/x")},
      {"WS://Scanner.Local:9/a", url(false, "Scanner.Local", false, "9", "Scanner.Local:9", "/a")},
      {"ws://127.0.0.1:8765/ws", url(false, "127.0.0.1", true, "8765", "127.0.0.1:8765", "/ws")},
      {"ws://[::1]:8765/ws", url(false, "::1", true, "8765", "[::1]:8765", "/ws")},
      {"wss://[2001:db8::1]/", url(true, "2001:db8::1", true, "443", "[2001:db8::1]", "/")},
      {"ws://h/a/b?x=1&y=%20#frag", url(false, "h", false, "80", "h", "/a/b?x=1&y=%20")},
      {"ws://h?only=query", url(false, "h", false, "80", "h", "/?only=query")},
      {"ws://user:secret@h:1/p", url(false, "h", false, "1", "h:1", "/p")},
      {"ws://my%2Dhost/", url(false, "my-host", false, "80", "my%2Dhost", "/")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_feed_url(c.text), c.want);
  }
}

TEST(FeedUrl, RejectedForms) {
  for (const char* text : {"", "scanner.local:8765", "http://h/ws", "https://h/ws", "ftp://h/", "wss:/h/ws",
                           "ws:///ws", "ws://:8765/ws", "ws://h:0/", "ws://h:65536/", "ws://h:99999999999/",
                           "ws://h:12a/", "ws://[v1.x]/", "ws://bad host/", " ws://h/", "ws://h/\n",
                           "ws://%00/", "not a url"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parse_feed_url(text), std::nullopt);
  }
}

}  // namespace
