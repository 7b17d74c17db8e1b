#pragma once
// Upper-case matching used by the search: the root locale's full case mapping,
// with a byte-only path for ASCII text.
#include <string_view>

namespace state {

// Whether `hay` contains `needle` byte for byte; tuned for texts of a few dozen bytes.
bool bytes_contain(std::string_view hay, std::string_view needle);

// Whether upper_case(text) contains `upper_needle`. Allocates nothing once the
// thread's scratch buffer has grown to the longest non-ASCII text seen.
bool upper_contains(std::string_view text, std::string_view upper_needle);

}  // namespace state
