#pragma once
// Name resolution that never holds up quitting.
#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <string>
#include <vector>

namespace feed {

// The TCP endpoints of `host` (a name or an IP literal) at the numeric `port`, in the
// order the system gives them; empty when the name does not resolve. A name is looked up
// on a thread of its own that nothing ever waits for: Asio's resolver would run the
// lookup on an internal thread that the runtime joins when it is destroyed, so a name
// server that never answers would hold up quitting until the lookup timed out.
// Must run on a strand (or a single-threaded executor).
boost::asio::awaitable<std::vector<boost::asio::ip::tcp::endpoint>> resolve_endpoints(const std::string& host,
                                                                                      const std::string& port);

}  // namespace feed
