#pragma once
// The feed task: one WebSocket client connection to the scanner server, kept open
// and reconnected every 5 s, feeding the shared App.
#include <boost/asio/io_context.hpp>
#include <string>

#include "state/app.hpp"

namespace feed {

// Spawns the task detached on `io`; it runs until the runtime stops.
void spawn_feed_task(boost::asio::io_context& io, std::string url, state::AppHandle app);

}  // namespace feed
