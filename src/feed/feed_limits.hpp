#pragma once
// Limits of the feed connection.
#include <cstddef>

#include "feed/decode.hpp"

namespace feed {

// Largest message the connection accepts; a longer one is an error on the connection.
// It is the decoder's own limit, so that everything received can be decoded: a generated
// row with every member is 250 to 400 bytes, so a 100,000-row snapshot is 25 to 40 MB.
inline constexpr size_t kReadMessageMax = kMaxMessageBytes;

}  // namespace feed
