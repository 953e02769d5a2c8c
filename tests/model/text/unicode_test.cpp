#include "model/text/unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace lorvex::text {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

TEST(UnicodeTest, ValidatesUTF8) {
  const struct {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ascii", true},
      {"caf\xC3\xA9", true},
      {"\xE3\x80\x80", true},       // U+3000
      {"\xF0\x9F\x98\x80", true},   // U+1F600
      {"\xF4\x8F\xBF\xBF", true},   // U+10FFFF
      {"\xC0\xAF", false},          // overlong '/'
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate U+D800
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xC3", false},              // truncated
      {"a\x80", false},             // lone continuation
      {"\xFF", false},
      {std::string("a\0b", 3), true},  // NUL is a scalar
  };
  for (const auto& c : cases) EXPECT_EQ(isValidUTF8(c.bytes), c.valid) << c.bytes;
}

TEST(UnicodeTest, RepairsEachMaximalInvalidSubpartWithOneReplacement) {
  const Case cases[] = {
      {"ok", "ok"},
      {"\xC3", "\xEF\xBF\xBD"},
      {"a\xE3\x80z", "a\xEF\xBF\xBDz"},                          // truncated 3-byte: one U+FFFD
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate: three
      {"\xF0\x9F\x98", "\xEF\xBF\xBD"},
      {"\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"caf\xC3\xA9\xFF", "caf\xC3\xA9\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(repairedUTF8(c.input), c.expected);
    EXPECT_TRUE(isValidUTF8(repairedUTF8(c.input)));
  }
}

TEST(UnicodeTest, DecodesAndEncodesEveryLength) {
  for (const char32_t scalar : {U'A', U'\u00E9', U'\u3000', U'\U0001F600', U'\U0010FFFF', U'\0'}) {
    std::string encoded;
    appendUTF8(encoded, scalar);
    EXPECT_TRUE(isValidUTF8(encoded));
    std::size_t offset = 0;
    EXPECT_EQ(decodeUTF8(encoded, offset), scalar);
    EXPECT_EQ(offset, encoded.size());
  }
}

TEST(UnicodeTest, WhiteSpaceIsTheUnicodeProperty) {
  for (const char32_t scalar :
       {U' ', U'\t', U'\n', U'\v', U'\f', U'\r', U'\u0085', U'\u00A0', U'\u1680', U'\u2000', U'\u200A',
        U'\u2028', U'\u2029', U'\u202F', U'\u205F', U'\u3000'}) {
    EXPECT_TRUE(isWhiteSpace(scalar)) << static_cast<unsigned>(scalar);
  }
  for (const char32_t scalar : {U'a', U'\0', U'\u200B', U'\uFEFF', U'\u180E', U'_', U'\u00AD'}) {
    EXPECT_FALSE(isWhiteSpace(scalar)) << static_cast<unsigned>(scalar);
  }
}

TEST(UnicodeTest, LowercasesWithTheRootLocale) {
  const Case cases[] = {
      {"", ""},
      {"MasterPiece 1GIRL", "masterpiece 1girl"},
      {"\xC4\xB0", "i\xCC\x87"},                 // İ → i + combining dot (not Turkish ı/i)
      {"I", "i"},                                // never the Turkish dotless ı
      {"STRASSE \xC3\x9F", "strasse \xC3\x9F"},  // ß stays ß
      {"\xC3\x80\xC3\x89", "\xC3\xA0\xC3\xA9"},  // ÀÉ
      {"\xCE\xA3\xCE\x91\xCE\xA3", "\xCF\x83\xCE\xB1\xCF\x82"},  // ΣΑΣ → σας (final sigma)
      {"\xEF\xBC\xA1", "\xEF\xBD\x81"},                          // fullwidth Ａ
      {"\xE7\x8C\xAB CAT", "\xE7\x8C\xAB cat"},                  // CJK untouched
  };
  for (const auto& c : cases) EXPECT_EQ(lowercased(c.input), c.expected) << c.input;
}

TEST(UnicodeTest, CaseFoldsSoThatLetterCaseAloneNeverDiffers) {
  const Case cases[] = {
      {"", ""},
      {"Alice MARGATROID", "alice margatroid"},
      {"Stra\xC3\x9F"
       "e",
       "strasse"},                                               // ß folds to ss, unlike lowercasing
      {"\xCE\xA3\xCE\x91\xCE\xA3", "\xCF\x83\xCE\xB1\xCF\x83"},  // every sigma folds to σ
      {"\xCF\x82", "\xCF\x83"},                                  // final ς as well
      {"\xC3\x89"
       "clair",
       "\xC3\xA9"
       "clair"},                         // accents stay
      {"\xEF\xBC\xA1", "\xEF\xBD\x81"},  // fullwidth Ａ
  };
  for (const auto& c : cases) EXPECT_EQ(caseFolded(c.input), c.expected) << c.input;
}

TEST(UnicodeTest, ComposesToNFC) {
  const Case cases[] = {
      {"", ""},
      {"ascii only", "ascii only"},
      {"e\xCC\x81", "\xC3\xA9"},                                 // e + U+0301 → é
      {"\xC3\xA9", "\xC3\xA9"},                                  // already composed
      {"\xE2\x84\xAB", "\xC3\x85"},                              // Angstrom sign → Å
      {"\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB", "\xED\x95\x9C"},  // Hangul jamo → 한
      {"a\xCC\xA3\xCC\x87", "\xE1\xBA\xA1\xCC\x87"},             // marks reordered, then composed
      {"\xEF\xBC\xA1", "\xEF\xBC\xA1"},                          // compatibility forms stay
  };
  for (const auto& c : cases) EXPECT_EQ(nfc(c.input), c.expected) << c.input;
}

// The canonical caseless match: case folding between two canonical decompositions.
TEST(UnicodeTest, MatchesIgnoringCaseCanonically) {
  struct Pair {
    std::string a;
    std::string b;
    bool same;
  };
  const Pair pairs[] = {
      {"Cat", "cAT", true},
      {"", "", true},
      {"cat", "cats", false},
      {"Stra\xC3\x9F"
       "e",
       "STRASSE", true},                // ß folds to ss
      {"\xC3\xA9", "e\xCC\x81", true},  // composed and decomposed é
      {"\xC3\x89", "e\xCC\x81", true},  // É against decomposed é
      {"\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x83", true},  // ΟΔΟΣ, οδοσ
      {"\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x83", true},  // final ς, σ
      {"\xEF\xBC\xA3\xEF\xBC\xA1\xEF\xBC\xB4", "cat", false},                          // no width folding
      {"\xC4\xB1", "I", false},  // default folding, not Turkish
      {"\xE7\x8C\xAB", "\xE7\x8C\xAB", true},
  };
  for (const auto& p : pairs) {
    SCOPED_TRACE(p.a + " / " + p.b);
    EXPECT_EQ(equalIgnoringCase(p.a, p.b), p.same);
    EXPECT_EQ(caselessKey(p.a) == caselessKey(p.b), p.same);
  }
  // The key is itself decomposed: folding can produce composed letters.
  EXPECT_EQ(caselessKey("\xC3\x89"), "e\xCC\x81");
}

}  // namespace
}  // namespace lorvex::text
