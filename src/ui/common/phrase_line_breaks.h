// Qt breaks a Japanese line between any two kana or kanji, inside words too ("削 / 除候補",
// "＋ボタ / ン"); ICU's Japanese line breaking by phrase ("ja@lw=phrase") breaks between phrases
// only. Qt's layouts take no break positions from outside, but they never break next to a word
// joiner (U+2060, which draws nothing): withPhraseJoiners puts one between every two characters
// that Qt would part and ICU keeps on one line, so a QTextLayout or a word-wrapping QLabel given its
// result breaks Japanese between phrases, and a layout that breaks anywhere when a word does not fit
// still breaks a phrase wider than its line.
//
// Latin text is broken by Qt's rules, but for one: Qt breaks after a solidus or a hyphen between
// two letters, inside a word ("disk I/ | O error", "read- | only"). withPhraseJoiners keeps such a
// word whole as well; a path (a run that starts with a solidus or holds more than one) still breaks
// after its slashes. Other text comes back as it is. The joiners stay inside the layout: what is
// shown, copied or spoken is the text without them (withoutPhraseJoiners).
//
// Thread safety: each thread keeps its own ICU iterators and results.
#pragma once

#include <QString>

namespace lorvex::ui {

QString withPhraseJoiners(const QString& text);
QString withoutPhraseJoiners(QString text);

}  // namespace lorvex::ui
