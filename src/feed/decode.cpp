#include "feed/decode.hpp"

#include <simdjson.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "feed/decode_numbers.hpp"

namespace feed {
namespace {

using simdjson::dom::element;

static_assert(kDecodePadding >= simdjson::SIMDJSON_PADDING);

simdjson::dom::parser& thread_parser() {
  thread_local simdjson::dom::parser parser = [] {
    simdjson::dom::parser p;
    // Room for small messages now; the parser grows itself for larger ones and keeps
    // the depth limit when it does. A failed allocation here is retried by parse().
    [[maybe_unused]] const auto err = p.allocate(64 * 1024, kMaxNestingDepth);
    return p;
  }();
  return parser;
}

DecodeError failure(std::string reason) { return DecodeError{std::move(reason)}; }

// ---- value rules -----------------------------------------------------------------
// Each returns nullptr on success or what is wrong with the value.

const char* read_float(element v, double& out) {
  if (v.get_double().get(out) == simdjson::SUCCESS) return nullptr;
  return v.is_null() ? "is null" : "is not a number";
}

const char* read_float(element v, std::optional<double>& out) {
  double d;
  if (v.get_double().get(d) == simdjson::SUCCESS) {
    out = d;
    return nullptr;
  }
  return v.is_null() ? nullptr : "is not a number";  // null: not present
}

// The parser keeps integers written without fraction or exponent as int64 (or uint64
// above INT64_MAX) and everything else as double, so "12.0" and "1e2" never pass here.
const char* int_problem(element v, simdjson::error_code err) {
  if (err == simdjson::NUMBER_OUT_OF_RANGE) return "is out of range";
  if (v.is_null()) return "is null";
  if (v.is_double()) return "is not an integer (fraction or exponent)";
  return "is not a number";
}

const char* read_int(element v, int64_t& out) {
  const auto err = v.get_int64().get(out);
  return err == simdjson::SUCCESS ? nullptr : int_problem(v, err);
}

const char* read_int(element v, std::optional<int64_t>& out) {
  int64_t i;
  const auto err = v.get_int64().get(i);
  if (err == simdjson::SUCCESS) {
    out = i;
    return nullptr;
  }
  return v.is_null() ? nullptr : int_problem(v, err);  // null: not present
}

const char* read_count(element v, uint32_t& out) {
  int64_t i;
  const auto err = v.get_int64().get(i);
  if (err != simdjson::SUCCESS) return int_problem(v, err);
  if (i < 0 || i > int64_t{std::numeric_limits<uint32_t>::max()}) return "is out of range";
  out = uint32_t(i);
  return nullptr;
}

[[gnu::always_inline]] inline const char* read_text(element v, std::string& out) {
  std::string_view s;
  if (v.get_string().get(s) == simdjson::SUCCESS) {
    out.assign(s);
    return nullptr;
  }
  return v.is_null() ? "is null" : "is not a string";
}

[[gnu::always_inline]] inline const char* read_text(element v, std::optional<std::string>& out) {
  std::string_view s;
  if (v.get_string().get(s) == simdjson::SUCCESS) {
    out.emplace(s);
    return nullptr;
  }
  return v.is_null() ? nullptr : "is not a string";  // null: not present
}

// ---- member tables ---------------------------------------------------------------

// A member name as one word, so that matching a key costs two integer compares (length
// and word) instead of a string compare. Two overlapping loads cover every byte of a
// name of up to 8 bytes, so for a given length the word is unique.
static_assert(std::endian::native == std::endian::little);
constexpr size_t kLongestName = 8;

constexpr uint64_t name_word(std::string_view s) {
  const size_t n = s.size();
  auto byte = [&](size_t i) { return uint64_t(uint8_t(s[i])); };
  if (n >= 4) {
    uint64_t lo = 0, hi = 0;
    for (size_t i = 0; i < 4; ++i) {
      lo |= byte(i) << (8 * i);
      hi |= byte(n - 4 + i) << (8 * i);
    }
    return lo | hi << 32;
  }
  return n == 0 ? 0 : byte(0) | byte(n >> 1) << 8 | byte(n - 1) << 16;
}

// The same word read with plain loads; `k` is at most kLongestName bytes.
inline uint64_t key_word(std::string_view k) {
  const size_t n = k.size();
  if (n >= 4) {
    uint32_t lo, hi;
    std::memcpy(&lo, k.data(), 4);
    std::memcpy(&hi, k.data() + n - 4, 4);
    return lo | uint64_t(hi) << 32;
  }
  return name_word(k);
}

template <size_t N>
struct NameWords {
  std::array<uint64_t, N> word{};
  std::array<size_t, N> size{};
};

template <size_t N>
constexpr NameWords<N> name_words(const std::string_view (&names)[N]) {
  NameWords<N> out;
  for (size_t i = 0; i < N; ++i) {
    out.word[i] = name_word(names[i]);
    out.size[i] = names[i].size();
  }
  return out;
}

enum SymbolMember : int {
  kSym, kName, kLast, kChg, kVol, kRvol, kFloat, kGap, kHod, kHodc, kDvol, kMcap, kSector, kTc, kVpm,
};
constexpr std::string_view kSymbolNames[] = {"sym", "name", "last",   "chg", "vol",
                                             "rvol", "float", "gap",  "hod", "hodc",
                                             "dvol", "mcap", "sector", "tc", "vpm"};
constexpr uint32_t kSymbolRequired = 1u << kSym | 1u << kLast | 1u << kVol | 1u << kHod |
                                     1u << kHodc | 1u << kDvol | 1u << kTc | 1u << kVpm;

const char* read_member(SymbolRow& r, int m, element v) {
  switch (m) {
    case kSym: return read_text(v, r.sym);
    case kName: return read_text(v, r.name);
    case kLast: return read_float(v, r.last);
    case kChg: return read_float(v, r.chg);
    case kVol: return read_int(v, r.vol);
    case kRvol: return read_float(v, r.rvol);
    case kFloat: return read_int(v, r.float_);
    case kGap: return read_float(v, r.gap);
    case kHod: return read_float(v, r.hod);
    case kHodc: return read_count(v, r.hodc);
    case kDvol: return read_float(v, r.dvol);
    case kMcap: return read_float(v, r.mcap);
    case kSector: return read_text(v, r.sector);
    case kTc: return read_int(v, r.tc);
    default: return read_int(v, r.vpm);
  }
}

enum AhMember : int { kAhSym, kAhName, kAhLast, kAhPrev, kAhChg, kAhVol, kAhDvol };
constexpr std::string_view kAhNames[] = {"sym", "name", "last", "prev", "chg", "vol", "dvol"};
constexpr uint32_t kAhRequired = 1u << kAhSym | 1u << kAhLast | 1u << kAhPrev | 1u << kAhChg |
                                 1u << kAhVol | 1u << kAhDvol;

const char* read_member(AhRow& r, int m, element v) {
  switch (m) {
    case kAhSym: return read_text(v, r.sym);
    case kAhName: return read_text(v, r.name);
    case kAhLast: return read_float(v, r.last);
    case kAhPrev: return read_float(v, r.prev);
    case kAhChg: return read_float(v, r.chg);
    case kAhVol: return read_int(v, r.vol);
    default: return read_float(v, r.dvol);
  }
}

struct SymbolTable {
  using Row = SymbolRow;
  static constexpr const std::string_view* names = kSymbolNames;
  static constexpr auto words = name_words(kSymbolNames);
  static constexpr uint32_t required = kSymbolRequired;
};

struct AhTable {
  using Row = AhRow;
  static constexpr const std::string_view* names = kAhNames;
  static constexpr auto words = name_words(kAhNames);
  static constexpr uint32_t required = kAhRequired;
};

// The table index of member `key`, or -1; `guess` is tried first.
template <class Table>
int find_member(std::string_view key, int guess) {
  if (key.size() > kLongestName) return -1;
  const uint64_t k = key_word(key);
  constexpr auto& w = Table::words;
  constexpr int count = int(w.word.size());
  if (guess < count && w.size[guess] == key.size() && w.word[guess] == k) return guess;
  for (int i = 0; i < count; ++i) {
    if (w.size[i] == key.size() && w.word[i] == k) return i;
  }
  return -1;
}

// ---- rows and messages -----------------------------------------------------------

std::string row_context(size_t index) { return "symbols[" + std::to_string(index) + "]: "; }

// Decodes one row object into `row`; on failure returns false with `why` set.
template <class Table>
bool decode_row(element el, typename Table::Row& row, size_t index, std::string& why) {
  simdjson::dom::object obj;
  if (el.get_object().get(obj) != simdjson::SUCCESS) {
    why = row_context(index) + "row is not an object";
    return false;
  }
  uint32_t seen = 0;
  int next = 0;  // servers write members in a fixed order: try the one after the last first
  for (const auto field : obj) {
    const int m = find_member<Table>(field.key, next);
    if (m < 0) continue;  // not ours: ignored, whatever it holds
    next = m + 1;
    const uint32_t bit = 1u << m;
    if (seen & bit) {
      why = row_context(index) + "member \"" + std::string(Table::names[m]) + "\" is repeated";
      return false;
    }
    seen |= bit;
    if (const char* problem = read_member(row, m, field.value)) {
      why = row_context(index) + "member \"" + std::string(Table::names[m]) + "\" " + problem;
      return false;
    }
  }
  // A required member that was present but null has already failed above.
  if (const uint32_t missing = Table::required & ~seen) {
    why = row_context(index) + "member \"" + std::string(Table::names[__builtin_ctz(missing)]) +
          "\" is missing";
    return false;
  }
  return true;
}

template <class Table>
bool decode_rows(simdjson::dom::array arr, std::vector<typename Table::Row>& rows, std::string& why) {
  rows.reserve(arr.size());
  size_t index = 0;
  for (const element el : arr) {
    if (!decode_row<Table>(el, rows.emplace_back(), index, why)) return false;
    ++index;
  }
  return true;
}

DecodeResult decode_root(element root) {
  simdjson::dom::object msg;
  if (root.get_object().get(msg) != simdjson::SUCCESS) return failure("message is not a JSON object");

  element type_value;
  element symbols_value;
  int type_count = 0;
  int symbols_count = 0;
  for (const auto field : msg) {
    if (field.key == "type") {
      ++type_count;
      type_value = field.value;
    } else if (field.key == "symbols") {
      ++symbols_count;
      symbols_value = field.value;
    }
  }
  if (type_count == 0) return failure("member \"type\" is missing");
  if (type_count > 1) return failure("member \"type\" is repeated");
  std::string_view type;
  if (type_value.get_string().get(type) != simdjson::SUCCESS) {
    return failure("member \"type\" is not a string");
  }

  enum class Kind { kSnapshot, kUpdate, kAfterHours };
  Kind kind;
  if (type == "snapshot") {
    kind = Kind::kSnapshot;
  } else if (type == "update") {
    kind = Kind::kUpdate;
  } else if (type == "afterhours") {
    kind = Kind::kAfterHours;
  } else if (type == "ping") {
    return WsMessage{Ping{}};
  } else {
    return failure("unknown message type \"" + std::string(type.substr(0, 64)) + "\"");
  }

  if (symbols_count == 0) return failure("member \"symbols\" is missing");
  if (symbols_count > 1) return failure("member \"symbols\" is repeated");
  simdjson::dom::array arr;
  if (symbols_value.get_array().get(arr) != simdjson::SUCCESS) {
    return failure("member \"symbols\" is not an array");
  }

  std::string why;
  switch (kind) {
    case Kind::kSnapshot: {
      Snapshot s;
      if (!decode_rows<SymbolTable>(arr, s.symbols, why)) return failure(std::move(why));
      return WsMessage{std::move(s)};
    }
    case Kind::kUpdate: {
      Update u;
      if (!decode_rows<SymbolTable>(arr, u.symbols, why)) return failure(std::move(why));
      return WsMessage{std::move(u)};
    }
    case Kind::kAfterHours: {
      AfterHoursGainers a;
      if (!decode_rows<AhTable>(arr, a.symbols, why)) return failure(std::move(why));
      return WsMessage{std::move(a)};
    }
  }
  return failure("unreachable");
}

DecodeResult decode_text(std::string_view text, bool padded) {
  if (text.empty()) return failure("empty message");
  if (text.size() > kMaxMessageBytes) return failure("message longer than the limit");

  simdjson::dom::parser& parser = thread_parser();
  element root;
  auto err = parser.parse(text.data(), text.size(), /*realloc_if_needed=*/!padded).get(root);
  std::string widened;  // must outlive the parse that reads it
  if (err == simdjson::NUMBER_ERROR && detail::widen_numbers(text, widened)) {
    // Rare: a number the parser cannot hold (an integer wider than 64 bits, a value
    // beyond the double range). Parse again with those literals rewritten.
    err = parser.parse(widened).get(root);
  }
  if (err != simdjson::SUCCESS) {
    return failure(std::string("not valid JSON: ") + simdjson::error_message(err));
  }
  return decode_root(root);
}

}  // namespace

DecodeResult decode_message(std::string_view text) { return decode_text(text, false); }

DecodeResult decode_message_padded(std::string_view text) { return decode_text(text, true); }

}  // namespace feed
