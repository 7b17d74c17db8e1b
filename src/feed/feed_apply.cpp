#include "feed/feed_apply.hpp"

#include <simdjson.h>

#include <mutex>
#include <type_traits>
#include <utility>
#include <variant>

#include "feed/decode.hpp"

namespace feed {
namespace {

void put_rows(state::SymbolMap& map, std::vector<SymbolRow>& rows) {
  for (SymbolRow& row : rows) {
    // The key is the one copy made; a row already stored under it is replaced whole.
    auto [it, inserted] = map.try_emplace(row.sym);
    it->second = std::move(row);
  }
}

void apply_decoded(state::SharedApp& shared, DecodeResult&& result) {
  auto* msg = std::get_if<WsMessage>(&result);
  if (msg == nullptr || std::holds_alternative<Ping>(*msg)) return;
  std::lock_guard lock(shared.mutex);
  apply_message(shared.app, *msg);
}

}  // namespace

void apply_message(state::App& app, WsMessage& msg) {
  std::visit(
      [&app](auto& m) {
        using T = std::decay_t<decltype(m)>;
        if constexpr (std::is_same_v<T, Snapshot>) {
          app.symbol_map.clear();  // keeps the table's capacity for the next snapshot
          // Grow once up front for a larger snapshot; never shrink.
          if (m.symbols.size() > app.symbol_map.max_load()) app.symbol_map.reserve(m.symbols.size());
          put_rows(app.symbol_map, m.symbols);
        } else if constexpr (std::is_same_v<T, Update>) {
          put_rows(app.symbol_map, m.symbols);
        } else if constexpr (std::is_same_v<T, AfterHoursGainers>) {
          app.ah_rows = std::move(m.symbols);
        }
      },
      msg);
}

void deliver_text(state::SharedApp& shared, std::string_view text) {
  if (text.empty()) return;  // never a message
  apply_decoded(shared, decode_message(text));
}

void deliver_padded_text(state::SharedApp& shared, std::string_view text) {
  if (text.empty()) return;
  apply_decoded(shared, decode_message_padded(text));
}

void deliver_unchecked(state::SharedApp& shared, std::string_view payload, bool padded) {
  if (payload.empty() || !simdjson::validate_utf8(payload.data(), payload.size())) return;
  if (padded)
    deliver_padded_text(shared, payload);
  else
    deliver_text(shared, payload);
}

void set_connected(state::SharedApp& shared, bool connected) {
  std::lock_guard lock(shared.mutex);
  shared.app.connected = connected;
}

}  // namespace feed
