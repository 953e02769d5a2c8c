// UTF-8 text as the whole program treats it: validity, Unicode White_Space, root-locale
// lowercasing and canonical (NFC) equivalence. ICU does the Unicode work; pure-ASCII input takes
// a fast path everywhere.
//
// Thread safety: every function is pure and may be called from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lorvex::text {

// True when every byte is below 0x80 (the fast path of every text function).
bool isASCII(std::string_view text);

// True when `bytes` is well-formed UTF-8 (no overlongs, surrogates or values above U+10FFFF).
bool isValidUTF8(std::string_view bytes);

// Replaces every ill-formed sequence by U+FFFD (one per maximal invalid subpart).
std::string repairedUTF8(std::string_view bytes);

inline constexpr char32_t kReplacementCharacter = U'\uFFFD';

// Decodes the scalar at `offset` (< text.size()) and advances `offset` past it. An ill-formed
// sequence reads as U+FFFD and advances past its maximal invalid subpart, as repairedUTF8 does,
// so a decoding loop over any bytes stays in bounds and ends.
char32_t decodeUTF8(std::string_view text, std::size_t& offset);
void appendUTF8(std::string& out, char32_t scalar);

// Unicode White_Space (the meaning of "whitespace" and of `\s` throughout the program).
bool isWhiteSpace(char32_t scalar);

// Lowercase mapping of the root locale (never the process locale). The one lowercasing helper of
// the program: keys computed anywhere, SQL's lower() included, go through it.
std::string lowercased(std::string_view text);

// Unicode default full case folding: two texts that differ only in letter case fold to the same
// bytes ("Straße" and "STRASSE" both give "strasse"). For equality ignoring case, not for display.
std::string caseFolded(std::string_view text);

// Canonical composition (NFC). Two texts are "equal" in the program's sense when their NFC forms
// are byte-equal.
std::string nfc(std::string_view text);

// The canonical caseless key: NFD(case fold(NFD(text))). Two texts are the same ignoring case when
// their keys are equal ("Straße" and "STRASSE", a composed and a decomposed "é", "ΟΔΟΣ" and
// "οδοσ"); the caseless order is the keys' byte order, which for UTF-8 is code-point order. Width
// and Turkish dotless i are not folded: "ＣＡＴ" and "cat", "ı" and "I" stay apart.
std::string caselessKey(std::string_view text);
bool equalIgnoringCase(std::string_view a, std::string_view b);

}  // namespace lorvex::text
