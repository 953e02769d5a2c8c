// The card that covers the window while the library is prepared: which stage runs (preparing the
// database, discovering files, indexing files) with the running scan's counts, and the fixed line
// that the library stays unavailable until then. Preparation wins over indexing; the card shown
// without a running scan says the database is being prepared.
//
// Thread safety: a pure value, callable from any thread.
#pragma once

#include <optional>
#include <string>

#include "model/indexing_job.h"
#include "ui/common/app_localization.h"

namespace lorvex::ui {

struct IndexingProgressOverlayPresentation {
  bool isPreparingLibrary = false;
  bool isIndexing = false;
  std::optional<ImageLibraryIndexingProgress> indexingProgress;

  std::string message(const AppLocalization& localizer) const;
  static std::string unavailableText(const AppLocalization& localizer);

  // The card's pinned measures.
  static constexpr int kMinimumWidth = 320;
  static constexpr int kPadding = 24;
  static constexpr int kSpacing = 12;
  static constexpr int kCornerRadius = 8;

  // The localizer is not part of the value: equality compares the store's three inputs.
  friend bool operator==(const IndexingProgressOverlayPresentation&,
                         const IndexingProgressOverlayPresentation&) = default;
};

}  // namespace lorvex::ui
