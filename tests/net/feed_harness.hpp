#pragma once
// Runs the feed task on the program's own runtime against a URL, and lets a test watch
// the shared App it fills.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "feed/feed_task.hpp"
#include "main/runtime.hpp"
#include "state/app.hpp"

namespace nettest {

class FeedRun {
 public:
  explicit FeedRun(const std::string& url) : app_(state::make_app(50)) {
    std::string error;
    rt_ = runtime::Runtime::create(error);
    if (!rt_) throw std::runtime_error("runtime: " + error);
    feed::spawn_feed_task(rt_->context(), url, app_);
  }
  ~FeedRun() { quit(); }

  state::AppHandle handle() const { return app_; }

  // Runs f(const App&) under the App lock.
  template <class F>
  auto with_app(F f) const {
    std::lock_guard lock(app_->mutex);
    return f(std::as_const(app_->app));
  }

  // Polls `pred(const App&)` under the lock until it holds or the time is up.
  template <class Pred>
  bool wait_until(Pred pred, std::chrono::steady_clock::duration timeout = std::chrono::seconds(10)) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (with_app(pred)) return true;
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  bool connected() const {
    return with_app([](const state::App& a) { return a.connected; });
  }
  bool wait_connected(bool want, std::chrono::steady_clock::duration timeout = std::chrono::seconds(10)) const {
    return wait_until([want](const state::App& a) { return a.connected == want; }, timeout);
  }

  // What quitting does: stop and join the runtime, then destroy it. Returns how long that took.
  std::chrono::steady_clock::duration quit() {
    const auto start = std::chrono::steady_clock::now();
    rt_.reset();
    return std::chrono::steady_clock::now() - start;
  }

 private:
  state::AppHandle app_;
  std::unique_ptr<runtime::Runtime> rt_;
};

}  // namespace nettest
