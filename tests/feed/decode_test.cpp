// Decoding of feed message texts: which texts decode, and to exactly what.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "feed/decode.hpp"

namespace {

using feed::AfterHoursGainers;
using feed::AhRow;
using feed::DecodeError;
using feed::Ping;
using feed::Snapshot;
using feed::SymbolRow;
using feed::Update;
using feed::WsMessage;

// ---- building texts --------------------------------------------------------------

using Members = std::vector<std::pair<std::string, std::string>>;  // name, JSON value text
constexpr const char* kAbsent = "<absent>";

// `base` with each change applied: a value replaced, a member removed (kAbsent), or a
// member appended when `base` lacks it.
std::string object(Members base, std::initializer_list<std::pair<std::string, std::string>> changes = {}) {
  for (const auto& [name, value] : changes) {
    bool found = false;
    for (auto it = base.begin(); it != base.end(); ++it) {
      if (it->first != name) continue;
      found = true;
      if (value == kAbsent) {
        base.erase(it);
      } else {
        it->second = value;
      }
      break;
    }
    if (!found && value != kAbsent) base.emplace_back(name, value);
  }
  std::string out = "{";
  for (const auto& [name, value] : base) {
    if (out.size() > 1) out += ',';
    out += '"' + name + "\":" + value;
  }
  return out + "}";
}

const Members kSymbolMembers = {
    {"sym", "\"ABC\""}, {"name", "\"Acme Corp\""}, {"last", "12.5"},       {"chg", "5.25"},
    {"vol", "1000"},    {"rvol", "1.5"},           {"float", "250000"},    {"gap", "-1.25"},
    {"hod", "13.0"},    {"hodc", "3"},             {"dvol", "12500.0"},    {"mcap", "3125000.0"},
    {"sector", "\"Finance\""}, {"tc", "42"},       {"vpm", "17"}};

const Members kAhMembers = {{"sym", "\"XYZ\""}, {"name", "\"Xyz Inc\""}, {"last", "3.5"},
                            {"prev", "3.0"},   {"chg", "16.5"},         {"vol", "120000"},
                            {"dvol", "420000.0"}};

SymbolRow base_row() {
  SymbolRow r;
  r.sym = "ABC";
  r.name = "Acme Corp";
  r.last = 12.5;
  r.chg = 5.25;
  r.vol = 1000;
  r.rvol = 1.5;
  r.float_ = 250000;
  r.gap = -1.25;
  r.hod = 13.0;
  r.hodc = 3;
  r.dvol = 12500.0;
  r.mcap = 3125000.0;
  r.sector = "Finance";
  r.tc = 42;
  r.vpm = 17;
  return r;
}

AhRow base_ah() { return AhRow{"XYZ", "Xyz Inc", 3.5, 3.0, 16.5, 120000, 420000.0}; }

std::string row(std::initializer_list<std::pair<std::string, std::string>> changes = {}) {
  return object(kSymbolMembers, changes);
}

std::string ah_row(std::initializer_list<std::pair<std::string, std::string>> changes = {}) {
  return object(kAhMembers, changes);
}

std::string message(const std::string& type, const std::string& rows) {
  return "{\"type\":\"" + type + "\",\"symbols\":[" + rows + "]}";
}

// `obj` (an object text) with one more member at its end, whether or not it has one by that name.
std::string with_member(const std::string& obj, const std::string& name, const std::string& value) {
  return obj.substr(0, obj.size() - 1) + ",\"" + name + "\":" + value + "}";
}

std::string snapshot(const std::string& rows) { return message("snapshot", rows); }

WsMessage snapshot_of(std::function<void(SymbolRow&)> change) {
  SymbolRow r = base_row();
  change(r);
  return Snapshot{{r}};
}

// ---- describing results (for failure output) --------------------------------------

std::string describe(const SymbolRow& r) {
  auto opt = [](const auto& o) { return o ? std::to_string(*o) : std::string("-"); };
  return r.sym + "|" + r.name.value_or("-") + "|" + std::to_string(r.last) + "|" + opt(r.chg) + "|" +
         std::to_string(r.vol) + "|" + opt(r.rvol) + "|" + opt(r.float_) + "|" + opt(r.gap) + "|" +
         std::to_string(r.hod) + "|" + std::to_string(r.hodc) + "|" + std::to_string(r.dvol) + "|" +
         opt(r.mcap) + "|" + r.sector.value_or("-") + "|" + std::to_string(r.tc) + "|" +
         std::to_string(r.vpm);
}

std::string describe(const AhRow& r) {
  return r.sym + "|" + r.name.value_or("-") + "|" + std::to_string(r.last) + "|" +
         std::to_string(r.prev) + "|" + std::to_string(r.chg) + "|" + std::to_string(r.vol) + "|" +
         std::to_string(r.dvol);
}

std::string describe(const WsMessage& m) {
  static constexpr const char* kNames[] = {"Snapshot", "Update", "AfterHoursGainers", "Ping"};
  std::string out = kNames[m.index()];
  std::visit(
      [&](const auto& v) {
        if constexpr (requires { v.symbols; }) {
          out += "[";
          for (const auto& r : v.symbols) out += " {" + describe(r) + "}";
          out += " ]";
        }
      },
      m);
  return out;
}

std::string describe(const feed::DecodeResult& r) {
  if (const auto* e = std::get_if<DecodeError>(&r)) return "failure: " + e->reason;
  return describe(std::get<WsMessage>(r));
}

// ---- the table -------------------------------------------------------------------

struct Case {
  const char* what;
  std::string text;
  std::optional<WsMessage> expected;  // nothing: the text must fail
};

const std::optional<WsMessage> kFails;

std::vector<Case> cases() {
  const std::string big = "123456789012345678901234567890";  // wider than 64 bits
  return {
      // variants
      {"snapshot with every member", snapshot(row()), Snapshot{{base_row()}}},
      {"update", message("update", row()), Update{{base_row()}}},
      {"afterhours carries AhRow entries under symbols", message("afterhours", ah_row()),
       AfterHoursGainers{{base_ah()}}},
      {"ping alone", R"({"type":"ping"})", Ping{}},
      {"ping ignores symbols and other members", R"({"symbols":[1,{"x":null}],"type":"ping","a":{"b":[]}})",
       Ping{}},
      {"ping ignores a malformed and repeated symbols", R"({"type":"ping","symbols":5,"symbols":null})", Ping{}},
      {"empty symbols", R"({"type":"snapshot","symbols":[]})", Snapshot{}},
      {"empty afterhours list", R"({"type":"afterhours","symbols":[]})", AfterHoursGainers{}},
      {"type after symbols", R"({"symbols":[],"type":"update"})", Update{}},
      {"message-level unknown members", R"({"type":"update","seq":7,"symbols":[],"meta":{"symbols":1}})",
       Update{}},
      {"several rows keep their order, repeated sym included",
       snapshot(row({{"sym", "\"B\""}}) + "," + row({{"sym", "\"A\""}}) + "," + row({{"sym", "\"B\""}, {"vol", "5"}})),
       Snapshot{{[] { auto r = base_row(); r.sym = "B"; return r; }(),
                 [] { auto r = base_row(); r.sym = "A"; return r; }(),
                 [] { auto r = base_row(); r.sym = "B"; r.vol = 5; return r; }()}}},

      // type
      {"type missing", R"({"symbols":[]})", kFails},
      {"type repeated", R"({"type":"ping","type":"ping"})", kFails},
      {"type a number", R"({"type":0,"symbols":[]})", kFails},
      {"type null", R"({"type":null})", kFails},
      {"type in other case", R"({"type":"Snapshot","symbols":[]})", kFails},
      {"type PING", R"({"type":"PING"})", kFails},
      {"type unknown", R"({"type":"trade","symbols":[]})", kFails},
      {"type with a trailing space", R"({"type":"ping "})", kFails},
      {"type written with escapes matches", R"({"t\u0079pe":"p\u0069ng"})", Ping{}},

      // symbols
      {"update without symbols", R"({"type":"update"})", kFails},
      {"symbols repeated", R"({"type":"snapshot","symbols":[],"symbols":[]})", kFails},
      {"symbols an object", R"({"type":"snapshot","symbols":{}})", kFails},
      {"symbols null", R"({"type":"update","symbols":null})", kFails},
      {"row not an object", R"({"type":"snapshot","symbols":[5]})", kFails},
      {"row null", R"({"type":"snapshot","symbols":[null]})", kFails},
      {"row written as an array is not accepted",
       R"({"type":"snapshot","symbols":[["ABC","Acme",12.5,1,1000,1,1,1,13,3,1,1,"F",42,17]]})", kFails},
      {"message written as an array is not accepted", R"(["snapshot",[]])", kFails},

      // signed 64-bit integers
      {"vol at the minimum", snapshot(row({{"vol", "-9223372036854775808"}})),
       snapshot_of([](SymbolRow& r) { r.vol = INT64_MIN; })},
      {"vol at the maximum", snapshot(row({{"vol", "9223372036854775807"}})),
       snapshot_of([](SymbolRow& r) { r.vol = INT64_MAX; })},
      {"vol one above the maximum", snapshot(row({{"vol", "9223372036854775808"}})), kFails},
      {"vol one below the minimum", snapshot(row({{"vol", "-9223372036854775809"}})), kFails},
      {"vol wider than 64 bits", snapshot(row({{"vol", big}})), kFails},
      {"vol negative and wider than 64 bits", snapshot(row({{"vol", "-" + big}})), kFails},
      {"vol -1", snapshot(row({{"vol", "-1"}})), snapshot_of([](SymbolRow& r) { r.vol = -1; })},
      {"vol -0 is zero", snapshot(row({{"vol", "-0"}})), snapshot_of([](SymbolRow& r) { r.vol = 0; })},
      {"vol 12.0", snapshot(row({{"vol", "12.0"}})), kFails},
      {"vol 1.5e6", snapshot(row({{"vol", "1.5e6"}})), kFails},
      {"vol 1e2", snapshot(row({{"vol", "1e2"}})), kFails},
      {"vol -0.0", snapshot(row({{"vol", "-0.0"}})), kFails},
      {"vol a string of digits", snapshot(row({{"vol", "\"12\""}})), kFails},
      {"vol true", snapshot(row({{"vol", "true"}})), kFails},
      {"tc 1.0", snapshot(row({{"tc", "1.0"}})), kFails},
      {"vpm 1E3", snapshot(row({{"vpm", "1E3"}})), kFails},
      {"tc and vpm at the limits", snapshot(row({{"tc", "9223372036854775807"}, {"vpm", "-9223372036854775808"}})),
       snapshot_of([](SymbolRow& r) { r.tc = INT64_MAX; r.vpm = INT64_MIN; })},
      {"float 1.5", snapshot(row({{"float", "1.5"}})), kFails},
      {"float at the minimum", snapshot(row({{"float", "-9223372036854775808"}})),
       snapshot_of([](SymbolRow& r) { r.float_ = INT64_MIN; })},
      {"float above the maximum", snapshot(row({{"float", "18446744073709551615"}})), kFails},
      {"AhRow vol 1.0", message("afterhours", ah_row({{"vol", "1.0"}})), kFails},

      // unsigned 32-bit integer
      {"hodc 0", snapshot(row({{"hodc", "0"}})), snapshot_of([](SymbolRow& r) { r.hodc = 0; })},
      {"hodc 4294967295", snapshot(row({{"hodc", "4294967295"}})),
       snapshot_of([](SymbolRow& r) { r.hodc = 4294967295u; })},
      {"hodc 4294967296", snapshot(row({{"hodc", "4294967296"}})), kFails},
      {"hodc -1", snapshot(row({{"hodc", "-1"}})), kFails},
      {"hodc -0 is zero", snapshot(row({{"hodc", "-0"}})), snapshot_of([](SymbolRow& r) { r.hodc = 0; })},
      {"hodc 12.0", snapshot(row({{"hodc", "12.0"}})), kFails},
      {"hodc 1.5e6", snapshot(row({{"hodc", "1.5e6"}})), kFails},
      {"hodc INT64_MIN", snapshot(row({{"hodc", "-9223372036854775808"}})), kFails},
      {"hodc UINT64_MAX", snapshot(row({{"hodc", "18446744073709551615"}})), kFails},
      {"hodc wider than 64 bits", snapshot(row({{"hodc", big}})), kFails},

      // 64-bit floats
      {"last written as 12 is 12.0", snapshot(row({{"last", "12"}})), snapshot_of([](SymbolRow& r) { r.last = 12.0; })},
      {"last with an exponent", snapshot(row({{"last", "1.5e6"}})), snapshot_of([](SymbolRow& r) { r.last = 1.5e6; })},
      {"last with a capital exponent and sign", snapshot(row({{"last", "25E-1"}})),
       snapshot_of([](SymbolRow& r) { r.last = 2.5; })},
      {"last at the uint64 range", snapshot(row({{"last", "18446744073709551615"}})),
       snapshot_of([](SymbolRow& r) { r.last = 18446744073709551615.0; })},
      {"last at INT64_MIN", snapshot(row({{"last", "-9223372036854775808"}})),
       snapshot_of([](SymbolRow& r) { r.last = -9223372036854775808.0; })},
      {"last wider than 64 bits is the nearest double", snapshot(row({{"last", "18446744073709551616"}})),
       snapshot_of([](SymbolRow& r) { r.last = 18446744073709551616.0; })},
      {"negative float member wider than 64 bits", snapshot(row({{"dvol", "-" + big}})),
       snapshot_of([](SymbolRow& r) { r.dvol = -1.2345678901234568e29; })},
      {"optional float member wider than 64 bits", snapshot(row({{"mcap", big}})),
       snapshot_of([](SymbolRow& r) { r.mcap = 1.2345678901234568e29; })},
      {"float member of 300 digits", snapshot(row({{"dvol", "1" + std::string(300, '0')}})),
       snapshot_of([](SymbolRow& r) { r.dvol = 1e300; })},
      {"AhRow float members wider than 64 bits", message("afterhours", ah_row({{"prev", big}, {"chg", "-" + big}})),
       [&] { auto a = base_ah(); a.prev = 1.2345678901234568e29; a.chg = -1.2345678901234568e29; return AfterHoursGainers{{a}}; }()},
      {"a float underflowing to zero", snapshot(row({{"chg", "1e-400"}})), snapshot_of([](SymbolRow& r) { r.chg = 0.0; })},
      {"a float beyond the double range", snapshot(row({{"last", "1e400"}})), kFails},
      {"an integer beyond the double range", snapshot(row({{"hod", "1" + std::string(400, '0')}})), kFails},
      {"last a string", snapshot(row({{"last", "\"12.5\""}})), kFails},
      {"last false", snapshot(row({{"last", "false"}})), kFails},
      {"chg an array", snapshot(row({{"chg", "[1]"}})), kFails},

      // numbers the parser cannot hold, where they do not matter
      {"wide integer in an unknown row member", snapshot(row({{"extra", big}})), Snapshot{{base_row()}}},
      {"wide integer in an unknown message member", R"({"type":"update","n":)" + big + R"(,"symbols":[]})", Update{}},
      {"wide integer nested in an unknown member", snapshot(row({{"x", "{\"y\":[1,-" + big + ",2.5]}"}})),
       Snapshot{{base_row()}}},
      {"wide integer in a ping", R"({"type":"ping","n":)" + big + "}", Ping{}},
      {"number beyond the double range in an unknown member", snapshot(row({{"x", "[1e400,-1e999]"}})),
       Snapshot{{base_row()}}},
      {"digits in texts stay as written when a wide integer is rewritten",
       snapshot(row({{"name", "\"" + big + " \\\" " + big + "\""}, {"sector", "\"1e400\""}, {"extra", big}})),
       snapshot_of([&](SymbolRow& r) { r.name = big + " \" " + big; r.sector = "1e400"; })},
      {"wide integer next to a malformed number still fails", snapshot(row({{"extra", big}, {"x", "01"}})), kFails},
      {"wide integer with leading zero still fails", snapshot(row({{"extra", "0" + big}})), kFails},
      {"wide integer with a dangling fraction still fails", snapshot(row({{"last", big + "."}})), kFails},

      // optional and required members
      {"optional members absent", snapshot(row({{"name", kAbsent}, {"chg", kAbsent}, {"rvol", kAbsent},
                                                {"float", kAbsent}, {"gap", kAbsent}, {"mcap", kAbsent},
                                                {"sector", kAbsent}})),
       snapshot_of([](SymbolRow& r) { r.name.reset(); r.chg.reset(); r.rvol.reset(); r.float_.reset();
                                      r.gap.reset(); r.mcap.reset(); r.sector.reset(); })},
      {"optional members null", snapshot(row({{"name", "null"}, {"chg", "null"}, {"rvol", "null"},
                                              {"float", "null"}, {"gap", "null"}, {"mcap", "null"},
                                              {"sector", "null"}})),
       snapshot_of([](SymbolRow& r) { r.name.reset(); r.chg.reset(); r.rvol.reset(); r.float_.reset();
                                      r.gap.reset(); r.mcap.reset(); r.sector.reset(); })},
      {"name a number", snapshot(row({{"name", "5"}})), kFails},
      {"sector an object", snapshot(row({{"sector", "{}"}})), kFails},
      {"sym missing", snapshot(row({{"sym", kAbsent}})), kFails},
      {"sym null", snapshot(row({{"sym", "null"}})), kFails},
      {"sym a number", snapshot(row({{"sym", "7"}})), kFails},
      {"empty sym is a text like any other", snapshot(row({{"sym", "\"\""}})), snapshot_of([](SymbolRow& r) { r.sym = ""; })},
      {"AhRow without name", message("afterhours", ah_row({{"name", kAbsent}})),
       [] { auto a = base_ah(); a.name.reset(); return AfterHoursGainers{{a}}; }()},
      {"AhRow without prev", message("afterhours", ah_row({{"prev", kAbsent}})), kFails},
      {"AhRow with chg null", message("afterhours", ah_row({{"chg", "null"}})), kFails},
      {"AhRow ignores SymbolRow-only members", message("afterhours", ah_row({{"hodc", "\"x\""}, {"tc", "1.5"}})),
       AfterHoursGainers{{base_ah()}}},
      {"SymbolRow in an afterhours message lacks prev", message("afterhours", row()), kFails},

      // member names
      {"unknown row members are ignored", snapshot(row({{"extra", "{\"sym\":1,\"vol\":[null]}"}, {"SYM", "1"}, {"Vol", "\"x\""}})),
       Snapshot{{base_row()}}},
      {"names that only resemble members are ignored",
       snapshot(row({{"sym\\u0000", "1"}, {"sectors", "1"}, {"vol ", "1"}, {"hodc_count", "1"}, {"", "1"}})),
       Snapshot{{base_row()}}},
      {"members in reverse order", [&] { Members m(kSymbolMembers.rbegin(), kSymbolMembers.rend()); return snapshot(object(m)); }(),
       Snapshot{{base_row()}}},
      {"member names with escapes match their decoded text", snapshot(row({{"sym", kAbsent}, {"s\\u0079m", "\"ABC\""}})),
       Snapshot{{base_row()}}},
      {"repeated sym", snapshot(with_member(row(), "sym", "\"ABC\"")), kFails},
      {"repeated member through an escaped name", snapshot(row({{"l\\u0061st", "12.5"}})), kFails},
      {"repeated optional member, first null", snapshot(with_member(row({{"chg", "null"}}), "chg", "1.5")), kFails},
      {"repeated unknown member is fine", snapshot(with_member(with_member(row(), "x", "1"), "x", "2")),
       Snapshot{{base_row()}}},

      // texts
      {"escapes decoded", snapshot(row({{"name", R"("A\u00e9\n\"\\\/\t")"}})),
       snapshot_of([](SymbolRow& r) { r.name = "A\xc3\xa9\n\"\\/\t"; })},
      {"non-ASCII kept", snapshot(row({{"name", "\"Soci\xc3\xa9t\xc3\xa9 \xf0\x9f\x93\x88\""}})),
       snapshot_of([](SymbolRow& r) { r.name = "Soci\xc3\xa9t\xc3\xa9 \xf0\x9f\x93\x88"; })},
      {"surrogate pair escape", snapshot(row({{"name", R"("\ud83d\udcc8")"}})),
       snapshot_of([](SymbolRow& r) { r.name = "\xf0\x9f\x93\x88"; })},
      {"lone surrogate escape", snapshot(row({{"name", R"("\ud83d")"}})), kFails},
      {"invalid UTF-8 in a text", snapshot(row({{"name", "\"\xff\xfe\""}})), kFails},
      {"invalid UTF-8 in an unknown member", snapshot(row({{"x", "\"\xc3\""}})), kFails},
      {"raw control character in a text", snapshot(row({{"name", "\"a\tb\""}})), kFails},

      // a bad row among good ones
      {"100 good rows and one bad", [] {
         std::string rows;
         for (int i = 0; i < 100; ++i) rows += row({{"sym", "\"S" + std::to_string(i) + "\""}}) + ",";
         return snapshot(rows + row({{"vol", "1.5"}}));
       }(), kFails},
      {"bad row first", snapshot(row({{"hodc", "-1"}}) + "," + row()), kFails},

      // the text around the value
      {"surrounding whitespace", " \t\r\n" + snapshot(row()) + "\n\r\t ", Snapshot{{base_row()}}},
      {"whitespace between tokens", "{ \"type\" :\n\"ping\" \t}", Ping{}},
      {"a second JSON value", R"({"type":"ping"}{"type":"ping"})", kFails},
      {"a second value after whitespace", R"({"type":"ping"} {"type":"ping"})", kFails},
      {"a trailing comma", R"({"type":"ping"},)", kFails},
      {"a trailing letter", R"({"type":"ping"} x)", kFails},
      {"a trailing NUL", std::string(R"({"type":"ping"})") + '\0', kFails},
      {"form feed is not whitespace", std::string(R"({"type":"ping"})") + '\f', kFails},
      {"vertical tab is not whitespace", std::string("\v") + R"({"type":"ping"})", kFails},
      {"no-break space is not whitespace", R"({"type":"ping"})" "\xc2\xa0", kFails},
      {"a byte order mark is not whitespace", "\xef\xbb\xbf" R"({"type":"ping"})", kFails},

      // not JSON, not an object
      {"empty text", "", kFails},
      {"only whitespace", " \n", kFails},
      {"unterminated object", R"({"type":"ping")", kFails},
      {"single quotes", R"({'type':'ping'})", kFails},
      {"trailing comma inside", R"({"type":"ping",})", kFails},
      {"unquoted key", R"({type:"ping"})", kFails},
      {"NaN", snapshot(row({{"last", "NaN"}})), kFails},
      {"leading zero", snapshot(row({{"vol", "01"}})), kFails},
      {"plus sign", snapshot(row({{"last", "+1"}})), kFails},
      {"top level a string", R"("ping")", kFails},
      {"top level a number", "5", kFails},
      {"top level null", "null", kFails},
      {"top level an array", "[]", kFails},
  };
}

class DecodeTable : public ::testing::TestWithParam<Case> {};

void expect_case(const Case& c, const feed::DecodeResult& got) {
  if (!c.expected) {
    EXPECT_TRUE(std::holds_alternative<DecodeError>(got)) << c.what << "\n  text: " << c.text
                                                         << "\n  got:  " << describe(got);
    if (const auto* e = std::get_if<DecodeError>(&got)) {
      EXPECT_FALSE(e->reason.empty()) << c.what;
    }
    return;
  }
  ASSERT_TRUE(std::holds_alternative<WsMessage>(got)) << c.what << "\n  text: " << c.text
                                                      << "\n  got:  " << describe(got);
  EXPECT_EQ(std::get<WsMessage>(got), *c.expected)
      << c.what << "\n  got:      " << describe(got) << "\n  expected: " << describe(*c.expected);
}

TEST(DecodeTable, EveryCase) {
  for (const Case& c : cases()) expect_case(c, feed::decode_message(c.text));
}

TEST(DecodeTable, PaddedEntryPointAgrees) {
  for (const Case& c : cases()) {
    std::string buf = c.text;
    buf.reserve(c.text.size() + feed::kDecodePadding);
    buf.append(feed::kDecodePadding, '}');  // slack that must not count as content
    expect_case(c, feed::decode_message_padded(std::string_view(buf).substr(0, c.text.size())));
  }
}

// ---- member-by-member presence rules -----------------------------------------------

struct MemberRule {
  const char* name;
  bool required;
  std::function<void(SymbolRow&)> clear;  // how the decoded row looks without it
};

TEST(DecodeMembers, RequiredFailWhenMissingOrNullOptionalBecomeAbsent) {
  const std::vector<MemberRule> rules = {
      {"sym", true, {}},
      {"name", false, [](SymbolRow& r) { r.name.reset(); }},
      {"last", true, {}},
      {"chg", false, [](SymbolRow& r) { r.chg.reset(); }},
      {"vol", true, {}},
      {"rvol", false, [](SymbolRow& r) { r.rvol.reset(); }},
      {"float", false, [](SymbolRow& r) { r.float_.reset(); }},
      {"gap", false, [](SymbolRow& r) { r.gap.reset(); }},
      {"hod", true, {}},
      {"hodc", true, {}},
      {"dvol", true, {}},
      {"mcap", false, [](SymbolRow& r) { r.mcap.reset(); }},
      {"sector", false, [](SymbolRow& r) { r.sector.reset(); }},
      {"tc", true, {}},
      {"vpm", true, {}},
  };
  for (const auto& rule : rules) {
    for (const char* value : {kAbsent, "null"}) {
      const auto got = feed::decode_message(snapshot(row({{rule.name, value}})));
      if (rule.required) {
        EXPECT_TRUE(std::holds_alternative<DecodeError>(got)) << rule.name << " " << value;
      } else {
        SymbolRow expected = base_row();
        rule.clear(expected);
        ASSERT_TRUE(std::holds_alternative<WsMessage>(got)) << rule.name << " " << value << ": " << describe(got);
        EXPECT_EQ(std::get<WsMessage>(got), WsMessage(Snapshot{{expected}})) << rule.name << " " << value;
      }
    }
    // Every member of the table may appear once only, whatever the second value holds.
    EXPECT_TRUE(std::holds_alternative<DecodeError>(
        feed::decode_message(snapshot(with_member(row(), rule.name, "null")))))
        << rule.name;
  }
}

TEST(DecodeMembers, AhRowRequiresEveryMemberButName) {
  for (const char* name : {"sym", "last", "prev", "chg", "vol", "dvol"}) {
    for (const char* value : {kAbsent, "null"}) {
      EXPECT_TRUE(std::holds_alternative<DecodeError>(
          feed::decode_message(message("afterhours", ah_row({{name, value}})))))
          << name << " " << value;
    }
  }
  const auto got = feed::decode_message(message("afterhours", ah_row({{"name", "null"}})));
  AhRow expected = base_ah();
  expected.name.reset();
  ASSERT_TRUE(std::holds_alternative<WsMessage>(got)) << describe(got);
  EXPECT_EQ(std::get<WsMessage>(got), WsMessage(AfterHoursGainers{{expected}}));
}

// ---- wide integers against an independent conversion --------------------------------

TEST(DecodeNumbers, WideIntegersInFloatMembersAreTheNearestDouble) {
  // Around 2^64, 2^100, and a long run of nines (rounds up to a power of ten).
  for (const std::string digits : {"18446744073709551616", "18446744073709551617", "36893488147419103232",
                                   "1267650600228229401496703205376", "99999999999999999999999999",
                                   "9007199254740993000000000000000000001"}) {
    for (const std::string sign : {"", "-"}) {
      const std::string literal = sign + digits;
      const auto got = feed::decode_message(snapshot(row({{"last", literal}})));
      ASSERT_TRUE(std::holds_alternative<WsMessage>(got)) << literal << ": " << describe(got);
      EXPECT_EQ(std::get<Snapshot>(std::get<WsMessage>(got)).symbols.at(0).last, std::strtod(literal.c_str(), nullptr))
          << literal;
    }
  }
}

// ---- limits ------------------------------------------------------------------------

std::string nested_ping(size_t levels) {  // the message object plus `levels` nested arrays
  return "{\"type\":\"ping\",\"x\":" + std::string(levels, '[') + std::string(levels, ']') + "}";
}

TEST(DecodeLimits, NestingUpToTheLimit) {
  EXPECT_TRUE(std::holds_alternative<WsMessage>(feed::decode_message(nested_ping(feed::kMaxNestingDepth - 1))));
  EXPECT_TRUE(std::holds_alternative<DecodeError>(feed::decode_message(nested_ping(feed::kMaxNestingDepth))));
}

TEST(DecodeLimits, TextLongerThanTheLimitFails) {
  std::string text = R"({"type":"ping"})";
  text.resize(feed::kMaxMessageBytes + 1, ' ');
  EXPECT_TRUE(std::holds_alternative<DecodeError>(feed::decode_message(text)));
}

TEST(DecodeLimits, LargeSnapshotDecodesWhole) {
  std::string rows;
  for (int i = 0; i < 5000; ++i) {
    if (i) rows += ',';
    rows += row({{"sym", "\"S" + std::to_string(i) + "\""}, {"vol", std::to_string(i)}});
  }
  const auto got = feed::decode_message(snapshot(rows));
  ASSERT_TRUE(std::holds_alternative<WsMessage>(got));
  const auto& symbols = std::get<Snapshot>(std::get<WsMessage>(got)).symbols;
  ASSERT_EQ(symbols.size(), 5000u);
  EXPECT_EQ(symbols[4321].sym, "S4321");
  EXPECT_EQ(symbols[4321].vol, 4321);
}

// ---- threads -----------------------------------------------------------------------

TEST(DecodeThreads, ConcurrentDecodesDoNotInterfere) {
  const std::vector<Case> all = cases();
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        for (size_t i = t; i < all.size(); i += 2) {  // threads overlap on half the cases
          const auto got = feed::decode_message(all[i].text);
          const bool ok = all[i].expected ? std::holds_alternative<WsMessage>(got) &&
                                                std::get<WsMessage>(got) == *all[i].expected
                                          : std::holds_alternative<DecodeError>(got);
          if (!ok) ++mismatches[t];
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
