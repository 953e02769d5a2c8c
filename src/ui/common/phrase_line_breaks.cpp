#include "ui/common/phrase_line_breaks.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <QHash>
#include <memory>
#include <vector>

#include "model/text/character_break_iterator.h"

namespace lorvex::ui {
namespace {

constexpr QChar kWordJoiner(0x2060);
// Results kept per thread: a list of failures repeats a few messages over thousands of rows, and
// ICU's phrase breaking costs tens of microseconds a sentence.
constexpr qsizetype kKeptResults = 256;

bool isWide(char32_t c) {
  if (c < 0x1100) return false;  // nothing below the Hangul jamo is wide
  const int width = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_EAST_ASIAN_WIDTH);
  return width == U_EA_WIDE || width == U_EA_FULLWIDTH || width == U_EA_HALFWIDTH;
}

char32_t codePointAt(const QString& text, qsizetype i) {
  const QChar unit = text.at(i);
  if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
    return QChar::surrogateToUcs4(unit, text.at(i + 1));
  }
  return unit.unicode();
}

char32_t codePointBefore(const QString& text, qsizetype i) {
  const QChar unit = text.at(i - 1);
  if (unit.isLowSurrogate() && i >= 2 && text.at(i - 2).isHighSurrogate()) {
    return QChar::surrogateToUcs4(text.at(i - 2), unit);
  }
  return unit.unicode();
}

// A letter of Latin script or a digit: what a word of Latin script is made of.
bool isLatinWordCharacter(QChar c) {
  return c.isDigit() || (c.isLetter() && c.script() == QChar::Script_Latin);
}

// Whether the run without spaces from `start` is a path: it starts with a solidus or holds several.
bool isPath(const QString& text, qsizetype start) {
  if (start < text.size() && text.at(start) == QLatin1Char('/')) return true;
  int solidi = 0;
  for (qsizetype i = start; i < text.size() && !text.at(i).isSpace(); ++i)
    solidi += text.at(i) == QLatin1Char('/') ? 1 : 0;
  return solidi > 1;
}

// The text with a joiner after every solidus or hyphen that stands between two letters or digits
// of a word, where Qt would break; paths are left to break at their slashes.
QString joinLatinWords(const QString& text) {
  QString joined;
  bool inPath = isPath(text, 0);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (i > 0 && text.at(i - 1).isSpace() && !c.isSpace()) inPath = isPath(text, i);
    const bool joinsWord = (c == QLatin1Char('/') || c == QLatin1Char('-')) && !inPath && i > 0 &&
                           i + 1 < text.size() && isLatinWordCharacter(text.at(i - 1)) &&
                           isLatinWordCharacter(text.at(i + 1));
    if (joinsWord && joined.isNull()) joined = text.left(i);
    if (!joined.isNull()) {
      joined += c;
      if (joinsWord) joined += kWordJoiner;
    }
  }
  return joined.isNull() ? text : joined;
}

bool hasWideCharacter(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text.at(i).unicode() >= 0x1100 && isWide(codePointAt(text, i))) return true;
  }
  return false;
}

// Qt breaks next to a wide character almost anywhere; beside white space ICU and Qt agree.
bool qtMayBreakBetween(char32_t before, char32_t after) {
  if (before == kWordJoiner.unicode() || after == kWordJoiner.unicode()) return false;
  if (u_isUWhiteSpace(static_cast<UChar32>(before)) || u_isUWhiteSpace(static_cast<UChar32>(after))) {
    return false;
  }
  return isWide(before) || isWide(after);
}

// Break iterators are costly to create (the phrase rules load a model) and not thread-safe: each
// thread keeps its own (the character iterator is the one the text kernel shares).
icu::BreakIterator* phraseLineIterator() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> created(
        icu::BreakIterator::createLineInstance(icu::Locale::createFromName("ja@lw=phrase"), status));
    if (U_FAILURE(status)) created.reset();
    return created;
  }();
  return iterator.get();
}

QString joinPhrases(const QString& text) {
  icu::BreakIterator* lines = phraseLineIterator();
  icu::BreakIterator* characters = lorvex::text::characterBreakIterator();
  if (lines == nullptr || characters == nullptr) return text;  // Qt's own breaks, as without ICU data
  const icu::UnicodeString unicode(false, reinterpret_cast<const char16_t*>(text.utf16()),
                                   static_cast<int32_t>(text.size()));
  std::vector<bool> breaks(static_cast<std::size_t>(text.size()) + 1, false);
  lines->setText(unicode);
  for (int32_t at = lines->first(); at != icu::BreakIterator::DONE; at = lines->next()) {
    breaks[static_cast<std::size_t>(at)] = true;
  }
  QString joined;
  joined.reserve(text.size() * 2);
  // Joiners go between characters (grapheme clusters) only: inside one they would part a base from
  // its marks.
  characters->setText(unicode);
  int32_t start = characters->first();
  for (int32_t end = characters->next(); end != icu::BreakIterator::DONE; end = characters->next()) {
    if (start > 0 && !breaks[static_cast<std::size_t>(start)] &&
        qtMayBreakBetween(codePointBefore(text, start), codePointAt(text, start))) {
      joined += kWordJoiner;
    }
    joined += QStringView(text).mid(start, end - start);
    start = end;
  }
  return joined;
}

}  // namespace

QString withPhraseJoiners(const QString& text) {
  const QString words = joinLatinWords(text);
  if (!hasWideCharacter(words)) return words;
  thread_local QHash<QString, QString> kept;
  if (const auto found = kept.constFind(words); found != kept.constEnd()) return *found;
  if (kept.size() >= kKeptResults) kept.clear();
  return *kept.insert(words, joinPhrases(words));
}

QString withoutPhraseJoiners(QString text) {
  return text.remove(kWordJoiner);
}

}  // namespace lorvex::ui
