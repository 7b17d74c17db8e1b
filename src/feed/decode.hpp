#pragma once
// Strict decoding of one feed message text: the whole message or nothing.
#include <string>
#include <string_view>
#include <variant>

#include "feed/records.hpp"

namespace feed {

struct DecodeError {
  std::string reason;  // for diagnosis only
};

using DecodeResult = std::variant<WsMessage, DecodeError>;

// Thread-safe; each thread reuses its own parser.
DecodeResult decode_message(std::string_view text);

}  // namespace feed
