#pragma once
// Properties every decode must have, whatever the input: checked by the fuzz target on
// each generated input and by the feed tests on the seed corpus and the kept crash inputs.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "feed/decode.hpp"

namespace decode_check {

inline void append_text(std::string& out, std::string_view s) {
  out += '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += char(c);
    }
  }
  out += '"';
}

inline void append_number(std::string& out, double d) {
  char buf[32];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, d).ptr);  // shortest exact form
}

inline void append_number(std::string& out, int64_t i) { out += std::to_string(i); }
inline void append_number(std::string& out, uint32_t i) { out += std::to_string(i); }

template <class T>
void member(std::string& out, const char* name, const T& value) {
  out += ",\"";
  out += name;
  out += "\":";
  if constexpr (std::is_same_v<T, std::string>) {
    append_text(out, value);
  } else {
    append_number(out, value);
  }
}

template <class T>
void member(std::string& out, const char* name, const std::optional<T>& value) {
  if (value) member(out, name, *value);
}

inline void append_row(std::string& out, const feed::SymbolRow& r) {
  out += "{\"sym\":";
  append_text(out, r.sym);
  member(out, "name", r.name);
  member(out, "last", r.last);
  member(out, "chg", r.chg);
  member(out, "vol", r.vol);
  member(out, "rvol", r.rvol);
  member(out, "float", r.float_);
  member(out, "gap", r.gap);
  member(out, "hod", r.hod);
  member(out, "hodc", r.hodc);
  member(out, "dvol", r.dvol);
  member(out, "mcap", r.mcap);
  member(out, "sector", r.sector);
  member(out, "tc", r.tc);
  member(out, "vpm", r.vpm);
  out += '}';
}

inline void append_row(std::string& out, const feed::AhRow& r) {
  out += "{\"sym\":";
  append_text(out, r.sym);
  member(out, "name", r.name);
  member(out, "last", r.last);
  member(out, "prev", r.prev);
  member(out, "chg", r.chg);
  member(out, "vol", r.vol);
  member(out, "dvol", r.dvol);
  out += '}';
}

// The message written back as JSON, every present member once.
inline std::string to_json(const feed::WsMessage& msg) {
  static constexpr const char* kTypes[] = {"snapshot", "update", "afterhours", "ping"};
  std::string out = "{\"type\":\"";
  out += kTypes[msg.index()];
  out += '"';
  std::visit(
      [&](const auto& m) {
        if constexpr (requires { m.symbols; }) {
          out += ",\"symbols\":[";
          for (size_t i = 0; i < m.symbols.size(); ++i) {
            if (i) out += ',';
            append_row(out, m.symbols[i]);
          }
          out += ']';
        }
      },
      msg);
  out += '}';
  return out;
}

inline bool same(const feed::DecodeResult& a, const feed::DecodeResult& b) {
  if (a.index() != b.index()) return false;
  if (a.index() == 1) return std::get<1>(a).reason == std::get<1>(b).reason;
  return std::get<0>(a) == std::get<0>(b);
}

// What is wrong with decoding `data`, or nothing.
inline std::optional<std::string> check(std::string_view data) {
  const feed::DecodeResult first = feed::decode_message(data);
  if (!same(first, feed::decode_message(data))) return "decoding twice gave different results";

  std::string padded(data);
  padded.reserve(data.size() + feed::kDecodePadding);
  padded.append(feed::kDecodePadding, '"');  // slack the decoder may read but must not use
  if (!same(first, feed::decode_message_padded(std::string_view(padded).substr(0, data.size())))) {
    return "the padded entry point disagrees";
  }

  if (const auto* err = std::get_if<feed::DecodeError>(&first)) {
    if (err->reason.empty()) return "a failure without a reason";
    return std::nullopt;
  }
  const feed::WsMessage& msg = std::get<feed::WsMessage>(first);

  const std::string written = to_json(msg);
  const feed::DecodeResult again = feed::decode_message(written);
  if (!std::holds_alternative<feed::WsMessage>(again) || !(std::get<feed::WsMessage>(again) == msg)) {
    return "the decoded message, written back, decodes differently: " + written;
  }

  const std::string spaced = " \t\r\n" + std::string(data) + "\n\r\t ";
  if (!same(first, feed::decode_message(spaced))) return "surrounding whitespace changed the result";
  if (!std::holds_alternative<feed::DecodeError>(feed::decode_message(std::string(data) + " {}"))) {
    return "a second value after the message was accepted";
  }
  return std::nullopt;
}

}  // namespace decode_check
