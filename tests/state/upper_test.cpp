#include "state/upper.hpp"

#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <random>
#include <string>

#include "state/tabs.hpp"

namespace state {
namespace {

// Independent reference: ICU's UTF-16 full mapping under the root locale.
std::string icu_reference_upper(std::string_view text) {
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())))
      .toUpper(icu::Locale::getRoot())
      .toUTF8String(out);
  return out;
}

TEST(UpperCase, FullMappingUnderTheRootLocale) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"", ""},
      {"aapl", "AAPL"},
      {"Mixed 123 [x]~", "MIXED 123 [X]~"},
      {"straße", "STRASSE"},   // one character, two letters
      {"ﬃ", "FFI"},            // one character, three letters
      {"istanbul", "ISTANBUL"},  // no Turkish dotted I
      {"ı", "I"},
      {"société", "SOCIÉTÉ"},
      {"zürich", "ZÜRICH"},
      {"ǰ", "J\xCC\x8C"},      // J + combining caron: no precomposed capital exists
      {"άλφα", "ΆΛΦΑ"},        // root keeps Greek accents
      {"日本", "日本"},
      {"😀x", "😀X"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(upper_case(c.in), c.out) << c.in;
    EXPECT_EQ(upper_case(c.in), icu_reference_upper(c.in)) << c.in;
  }
}

TEST(UpperCase, AsciiFastPathAgreesWithIcu) {
  std::string all;
  for (int c = 0; c < 0x80; ++c) all += char(c);
  EXPECT_EQ(upper_case(all), icu_reference_upper(all));
}

TEST(UpperCase, IllFormedTextNeverFails) {
  for (const char* bad : {"\xFF", "ab\xC3", "\xE2\x82", "x\x80y", "\xED\xA0\x80"}) {
    const std::string up = upper_case(bad);
    EXPECT_FALSE(up.empty()) << bad;
    EXPECT_NO_FATAL_FAILURE(upper_contains(bad, "X"));
  }
  EXPECT_TRUE(upper_contains("x\x80y", "X"));
}

std::string utf8(char32_t c) {
  std::string s;
  icu::UnicodeString(UChar32(c)).toUTF8String(s);
  return s;
}

// Characters up to U+07FF are mapped from a table; every one of them, alone and among
// neighbours, must map as ICU maps the whole text.
TEST(UpperCase, TabledCharactersAgreeWithIcu) {
  for (char32_t c = 0; c < 0x800; ++c) {
    const std::string one = utf8(c);
    ASSERT_EQ(upper_case(one), icu_reference_upper(one)) << std::hex << uint32_t(c);
    const std::string among = "i" + one + utf8(0x307) + one + "\xCE\xB9";
    ASSERT_EQ(upper_case(among), icu_reference_upper(among)) << std::hex << uint32_t(c);
  }
  std::mt19937 rng(11);
  const char32_t specials[] = {0x345, 0x390, 0x3B0, 0x3C2, 0x149, 0x1F0, 0xDF, 0x130, 0x131, 0x307,
                               0x301, 0x3A3, 0x587, 0x1E9E, 0xFB01, 0x1F80, 'i', 'a', ' '};
  for (int i = 0; i < 5000; ++i) {
    std::string s;
    for (size_t n = rng() % 10; n > 0; --n) s += utf8(rng() % 3 ? specials[rng() % std::size(specials)] : rng() % 0x800);
    ASSERT_EQ(upper_case(s), icu_reference_upper(s)) << s;
  }
}

// upper_contains (ASCII texts matched with letters folded, others upper-cased first)
// against the plain definition, on random texts of letters that case-map specially,
// plain letters and the non-letters next to them in ASCII.
TEST(UpperCase, ContainsMatchesTheDefinition) {
  const char* pieces[] = {"a", "A", "b", "s", "S", "i", " ", "ß", "é", "É", "ﬁ", "f", "I", "ı", "-",
                          "@", "`", "[", "{", "z", "Z", "\x7F", "n", "N", "in", "IN"};
  std::mt19937 rng(7);
  auto random_text = [&](size_t max_bytes, bool ascii_only) {
    std::string s;
    const size_t n = rng() % (max_bytes + 1);
    while (s.size() < n) {
      const char* p = pieces[rng() % std::size(pieces)];
      if (ascii_only && static_cast<unsigned char>(p[0]) >= 0x80) continue;
      s += p;
    }
    return s;
  };
  for (int i = 0; i < 40000; ++i) {
    const std::string text = random_text(i % 4 == 0 ? 60 : 14, i % 2 == 0);
    const std::string upper_text = icu_reference_upper(text);
    std::string needle;
    if (i % 13 == 0 && !upper_text.empty()) {
      // A piece of the upper-cased text itself: long needles, found anywhere.
      const size_t from = rng() % upper_text.size();
      needle = upper_text.substr(from, 1 + rng() % (upper_text.size() - from));
    } else {
      const std::string typed = random_text(1 + i % 5, i % 3 == 0);
      // Callers pass upper-cased needles; a raw one must still follow the definition.
      needle = i % 7 == 0 ? typed : upper_case(typed);
    }
    const bool expected = upper_text.find(needle) != std::string::npos;
    ASSERT_EQ(upper_contains(text, needle), expected) << '"' << text << "\" / \"" << needle << '"';
  }
}

}  // namespace
}  // namespace state
