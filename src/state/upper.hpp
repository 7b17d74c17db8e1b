#pragma once
// Upper-case matching used by the search: the root locale's full case mapping,
// with a byte-only path for ASCII text.
#include <string_view>

namespace state {

bool is_ascii(std::string_view text);

// Whether upper_case(text) contains `upper_needle`. Allocates nothing once the
// thread's scratch buffer has grown to the longest non-ASCII text seen.
bool upper_contains(std::string_view text, std::string_view upper_needle);

}  // namespace state
