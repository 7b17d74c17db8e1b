#pragma once
// Strict decoding of one feed message text: the whole message or nothing.
#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "feed/records.hpp"

namespace feed {

struct DecodeError {
  std::string reason;  // for diagnosis only
};

using DecodeResult = std::variant<WsMessage, DecodeError>;

// Longest message text that decodes; a longer one fails without being parsed. Each
// thread's parser keeps buffers sized for the longest text it has decoded: about 15
// times its size reserved, about 5 times resident.
inline constexpr size_t kMaxMessageBytes = size_t{64} << 20;
// Deepest nesting of arrays and objects, the message object counting as level 1.
inline constexpr size_t kMaxNestingDepth = 1024;
// Readable bytes decode_message_padded needs after the text (their content is not used).
inline constexpr size_t kDecodePadding = 64;

// Thread-safe; each thread reuses its own parser.
DecodeResult decode_message(std::string_view text);

// The same, without copying the text into the parser's own buffer first: the caller
// promises that kDecodePadding bytes after text.data() + text.size() are readable,
// e.g. a std::string with capacity() >= size() + kDecodePadding.
DecodeResult decode_message_padded(std::string_view text);

}  // namespace feed
