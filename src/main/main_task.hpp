#pragma once
#include <boost/asio/io_context.hpp>

#include "tui/result.hpp"

namespace app_main {

// Parses the command line, owns the terminal and runs the main loop until quit.
// The value is the exit status of a normal end (0 on quit or help, 2 on a usage
// error); an error value is a failed terminal or drawing operation.
tui::Result<int> run_main_task(int argc, const char* const* argv, boost::asio::io_context& io);

}  // namespace app_main
