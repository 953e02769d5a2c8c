// How a background refresh of the results re-reads them: the whole loaded window, or only the
// leading page merged in front of it.
//
// Thread safety: a plain value.
#pragma once

namespace lorvex {

enum class BackgroundResultRefreshMode { fullWindow, leadingPage };

}  // namespace lorvex
