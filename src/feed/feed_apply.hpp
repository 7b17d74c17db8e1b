#pragma once
// Applying received feed messages to the shared App: decode first, then one short
// critical section per message.
#include <string_view>

#include "feed/records.hpp"
#include "state/app.hpp"

namespace feed {

// Applies one decoded message; the caller holds the App lock. Rows are moved out of
// `msg`. A Snapshot empties the map (keeping its capacity) and fills it; an Update
// inserts or replaces whole rows; after-hours replaces the list; Ping changes nothing.
void apply_message(state::App& app, WsMessage& msg);

// Decodes `text` without the lock; when it decodes to anything but Ping, applies it
// under the lock. A text that does not decode changes nothing.
void deliver_text(state::SharedApp& shared, std::string_view text);

// The same, for a text followed by feed::kDecodePadding readable bytes.
void deliver_padded_text(state::SharedApp& shared, std::string_view text);

// For payloads that the WebSocket layer did not check (binary messages, ping and pong
// payloads): dropped unless valid UTF-8, then as deliver_text.
void deliver_unchecked(state::SharedApp& shared, std::string_view payload, bool padded);

void set_connected(state::SharedApp& shared, bool connected);

}  // namespace feed
