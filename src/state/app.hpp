#pragma once
// The one scanner state record, shared by the main task and the feed task.
#include <boost/unordered/unordered_flat_map.hpp>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "feed/records.hpp"

namespace state {

using feed::AhRow;
using feed::SymbolRow;

using SymbolMap = boost::unordered_flat_map<std::string, SymbolRow>;

struct App {
  explicit App(uint64_t max_rows) : max_rows(max_rows) {}

  SymbolMap symbol_map;        // written by the feed task
  std::vector<AhRow> ah_rows;  // written by the feed task, feed order
  std::string search;          // as typed
  bool search_mode = false;
  uint64_t tab = 0;            // 0..7 symbol tabs, 8 after hours
  uint64_t scroll = 0;         // first row shown; may point past the end
  uint64_t max_rows;           // fixed at start-up
  bool connected = false;      // written by the feed task
};

// One lock guarding one App; the program's only shared lock. Never held across
// terminal output, an event wait, a network wait or decoding.
struct SharedApp {
  explicit SharedApp(uint64_t max_rows) : app(max_rows) {}
  std::mutex mutex;
  App app;
};

using AppHandle = std::shared_ptr<SharedApp>;

inline AppHandle make_app(uint64_t max_rows) { return std::make_shared<SharedApp>(max_rows); }

}  // namespace state
