#include "feed/feed_resolve.hpp"

#include <netdb.h>
#include <sys/socket.h>

#include <boost/asio/post.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace feed {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

std::vector<tcp::endpoint> lookup(const std::string& host, const std::string& port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  std::vector<tcp::endpoint> out;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0) return out;
  for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    if ((ai->ai_family != AF_INET && ai->ai_family != AF_INET6) || ai->ai_addrlen > sizeof(sockaddr_storage))
      continue;
    tcp::endpoint ep;
    std::memcpy(ep.data(), ai->ai_addr, ai->ai_addrlen);
    ep.resize(ai->ai_addrlen);
    out.push_back(ep);
  }
  ::freeaddrinfo(list);
  return out;
}

// Shared by the waiting coroutine and the lookup thread. Once the coroutine is gone
// (returned, or destroyed with the runtime), the thread touches nothing but this. The
// coroutine runs on a strand and the wake-up is posted to it, so the wake-up cannot
// come before the wait has begun.
struct Pending {
  std::mutex mutex;
  asio::steady_timer* wake = nullptr;  // null once the coroutine is gone
  // Dropped with the coroutine too: the thread may outlive the runtime, and the last
  // reference to a strand must not go after it.
  std::optional<asio::any_io_executor> ex;
  std::vector<tcp::endpoint> result;
};

}  // namespace

asio::awaitable<std::vector<tcp::endpoint>> resolve_endpoints(const std::string& host, const std::string& port) {
  boost::system::error_code ec;
  const auto literal = asio::ip::make_address(host, ec);
  if (!ec) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(port.c_str(), &end, 10);
    if (end == port.c_str() || *end != '\0' || n == 0 || n > 65535) co_return std::vector<tcp::endpoint>{};
    co_return std::vector<tcp::endpoint>{tcp::endpoint(literal, static_cast<unsigned short>(n))};
  }

  auto ex = co_await asio::this_coro::executor;
  asio::steady_timer wake(ex, asio::steady_timer::time_point::max());
  auto pending = std::make_shared<Pending>();
  pending->wake = &wake;
  pending->ex = ex;
  struct Leave {  // runs when the frame returns or is destroyed
    std::shared_ptr<Pending> p;
    ~Leave() {
      std::lock_guard lock(p->mutex);
      p->wake = nullptr;
      p->ex.reset();
    }
  } leave{pending};

  std::thread([pending, host, port] {
    auto found = lookup(host, port);
    std::lock_guard lock(pending->mutex);
    if (pending->wake == nullptr) return;
    pending->result = std::move(found);
    asio::post(*pending->ex, [pending] {
      std::lock_guard lock(pending->mutex);
      if (pending->wake != nullptr) pending->wake->cancel();
    });
  }).detach();

  co_await wake.async_wait(asio::redirect_error(asio::use_awaitable, ec));
  std::vector<tcp::endpoint> result;
  {
    std::lock_guard lock(pending->mutex);
    result = std::move(pending->result);
  }
  co_return result;
}

}  // namespace feed
