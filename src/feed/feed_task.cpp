#include "feed/feed_task.hpp"

namespace feed {

// Placeholder until the connection task lands.
void spawn_feed_task(boost::asio::io_context&, std::string, state::AppHandle) {}

}  // namespace feed
