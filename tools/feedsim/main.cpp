// feedsim: a reference scanner server for tickerdeck.
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "options.hpp"
#include "server.hpp"

int main(int argc, char** argv) {
  int status = 0;
  const auto options = feedsim::parse_options(argc, argv, status);
  if (!options) return status;

  boost::asio::io_context io(1);
  std::string error;
  auto server = feedsim::Server::create(io, *options, error);
  if (!server) {
    std::fprintf(stderr, "feedsim: %s\n", error.c_str());
    return 1;
  }
  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&io](const boost::system::error_code& ec, int) {
    if (!ec) io.stop();
  });

  std::fprintf(stderr, "feedsim: listening on %s (%zu symbols, seed %llu)\n", server->url().c_str(),
               options->symbols, static_cast<unsigned long long>(options->seed));
  server->start();
  io.run();

  // Close every connection and let the sessions wind down for a moment.
  server->stop();
  io.restart();
  io.run_for(std::chrono::seconds(2));
  std::fprintf(stderr, "feedsim: stopped\n");
  return 0;
}
