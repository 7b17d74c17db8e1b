// libFuzzer target for the feed message decoder: any input must decode or fail cleanly,
// and the properties in decode_invariants.hpp must hold.
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "decode_invariants.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto problem = decode_check::check(text)) {
    std::fprintf(stderr, "decode invariant broken: %s\n", problem->c_str());
    __builtin_trap();
  }
  return 0;
}
