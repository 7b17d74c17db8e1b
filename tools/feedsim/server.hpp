#pragma once
// The WebSocket server: accepts clients on one address and gives each its own
// simulated market, paced by timers, through a bounded send queue.
#include <boost/asio/io_context.hpp>
#include <memory>
#include <string>

#include "options.hpp"

namespace feedsim {

class Server {
 public:
  // Binds and listens; on failure returns nothing and sets `error`.
  static std::unique_ptr<Server> create(boost::asio::io_context& io, const Options& options, std::string& error);
  virtual ~Server() = default;
  virtual std::string url() const = 0;  // ws://host:port/path or wss://
  virtual void start() = 0;             // accepts until stop()
  virtual void stop() = 0;              // closes the listener and every connection
};

}  // namespace feedsim
