#pragma once
// Limits of the feed connection.
#include <cstddef>

namespace feed {

// Largest message the connection accepts; a longer one is an error on the connection.
// A generated row with every member is 300 to 400 bytes, so a 100,000-row snapshot is
// about 40 MB; 64 MiB leaves room for long names and numbers.
inline constexpr size_t kReadMessageMax = size_t{64} << 20;

}  // namespace feed
