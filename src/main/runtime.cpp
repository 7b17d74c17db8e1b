#include "main/runtime.hpp"

#include <exception>
#include <system_error>

namespace runtime {

std::unique_ptr<Runtime> Runtime::create(std::string& error) {
  try {
    std::unique_ptr<Runtime> rt(new Runtime());
    rt->guard_.emplace(rt->context_.get_executor());
    const unsigned n = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < n; ++i) rt->workers_.emplace_back([ctx = &rt->context_] { ctx->run(); });
    return rt;
  } catch (const std::system_error& e) {
    error = e.code().message() + " (os error " + std::to_string(e.code().value()) + ")";
  } catch (const std::exception& e) {
    error = e.what();
  }
  return nullptr;
}

void Runtime::shutdown() {
  guard_.reset();
  context_.stop();
  for (auto& t : workers_)
    if (t.joinable()) t.join();
  workers_.clear();
}

Runtime::~Runtime() { shutdown(); }

}  // namespace runtime
