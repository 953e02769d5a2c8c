#include "model/text/graphemes.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <memory>

namespace lorvex::text {

namespace {

bool isASCIIByte(char c) {
  return static_cast<unsigned char>(c) < 0x80;
}

// A break iterator is costly to create and not thread-safe: each thread keeps its own.
icu::BreakIterator* characterBreakIterator() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> created(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) created.reset();
    return created;
  }();
  return iterator.get();
}

// Appends the boundaries of text[begin, end) after `begin` (end included), where both ends are
// known boundaries.
void appendICUBoundaries(std::string_view text, std::size_t begin, std::size_t end,
                         std::vector<std::size_t>& boundaries) {
  icu::BreakIterator* iterator = characterBreakIterator();
  UErrorCode status = U_ZERO_ERROR;
  UText utext = UTEXT_INITIALIZER;
  if (iterator != nullptr) {
    utext_openUTF8(&utext, text.data() + begin, static_cast<int64_t>(end - begin), &status);
  }
  if (iterator == nullptr || U_FAILURE(status)) {
    // Without ICU data every scalar is its own cluster: wrong for marks, but never unsafe.
    for (std::size_t i = begin + 1; i <= end; ++i) {
      if (i == end || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) boundaries.push_back(i);
    }
    utext_close(&utext);
    return;
  }
  iterator->setText(&utext, status);
  for (int32_t position = iterator->next(); position != icu::BreakIterator::DONE;
       position = iterator->next()) {
    boundaries.push_back(begin + static_cast<std::size_t>(position));
  }
  // The iterator keeps a shallow clone that still points at `text`; it is never read again
  // before the next setText replaces it.
  utext_close(&utext);
}

}  // namespace

std::vector<std::size_t> graphemeBoundaries(std::string_view text) {
  std::vector<std::size_t> boundaries;
  boundaries.reserve(text.size() + 1);
  boundaries.push_back(0);
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    // Between two ASCII characters there is always a boundary, except inside CR LF.
    if (isASCIIByte(text[i]) && (i + 1 == n || isASCIIByte(text[i + 1]))) {
      i += (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
      boundaries.push_back(i);
      continue;
    }
    // A stretch that holds non-ASCII text runs up to the next certain boundary: an ASCII
    // character followed by another (not CR LF), or the end.
    std::size_t end = i + 1;
    while (end < n) {
      if (isASCIIByte(text[end - 1]) && isASCIIByte(text[end]) &&
          !(text[end - 1] == '\r' && text[end] == '\n')) {
        break;
      }
      ++end;
    }
    appendICUBoundaries(text, i, end, boundaries);
    i = end;
  }
  return boundaries;
}

std::size_t graphemeCount(std::string_view text) {
  return graphemeBoundaries(text).size() - 1;
}

}  // namespace lorvex::text
