#pragma once
// The slow path for numbers the JSON parser cannot hold: integers wider than 64 bits
// and numbers beyond the range of a double. Used only after a parse failed on a number.
#include <string>
#include <string_view>

namespace feed::detail {

// Copies `text` into `out` with every such number literal outside strings rewritten:
// - an integer literal outside the int64/uint64 range whose value is a finite double
//   gets ".0" appended, so it parses as the nearest double (which every integer member
//   refuses, as it refuses the out-of-range integer itself);
// - any number literal beyond the finite double range becomes the empty string "",
//   which every number member refuses and an unknown member ignores.
// Anything that is not a well-formed number literal is left untouched, so a text that
// was invalid for another reason stays invalid. Returns false (and `out` is
// unspecified) when nothing needed rewriting.
bool widen_numbers(std::string_view text, std::string& out);

}  // namespace feed::detail
