#pragma once
// The asynchronous runtime: one io_context run by one worker thread per processor.
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace runtime {

class Runtime {
 public:
  // Starts the workers; on failure returns the system's description.
  static std::unique_ptr<Runtime> create(std::string& error);
  ~Runtime();  // shutdown()

  boost::asio::io_context& context() { return context_; }
  // Stops the context, which abandons every task at its current wait, and joins the workers.
  void shutdown();

 private:
  Runtime() = default;
  boost::asio::io_context context_;
  std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> guard_;
  std::vector<std::thread> workers_;
};

}  // namespace runtime
