// The ICU character (grapheme cluster) break iterator that every caller of this thread shares.
// Break iterators are costly to create and not thread-safe: each thread keeps one, created on first
// use. A caller sets its text and walks it before it returns; no caller keeps a walk open across a
// call into another that may use the iterator.
//
// Thread safety: the iterator returned belongs to the calling thread.
#pragma once

#include <unicode/brkiter.h>

namespace lorvex::text {

// The calling thread's character break iterator; null when ICU has no data for it.
icu::BreakIterator* characterBreakIterator();

}  // namespace lorvex::text
