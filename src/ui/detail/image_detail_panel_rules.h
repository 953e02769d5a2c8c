// The inspector's rules without widgets: which sections it shows and in what order, the preview's
// image cache key, how the review buttons read, and when a long-text box opens or closes.
//
// Thread safety: pure values and functions.
#pragma once

#include <string>
#include <vector>

#include "model/image_record.h"
#include "ui/common/app_localization_key.h"

namespace lorvex::ui {

enum class ImageDetailSection { emptyState, preview, reviewControls, tagConcepts, filterTags, metadata };

// Nothing focused: the empty state alone. Otherwise preview, review controls, the tag concepts
// (only with the feature on), filter tags, metadata.
std::vector<ImageDetailSection> imageDetailSections(bool hasRecord, bool isTagConceptEnabled);

// The record's file: path, U+001F, size, U+001F, modification time as text::formatDouble writes
// it; the tiles, the review sheet and the slideshow use the same key, so one decode is shared.
std::string imageDetailPreviewCacheKey(const ImageRecord& record);

// The longer side the preview is decoded to.
inline constexpr int kImageDetailPreviewMaxPixelSize = 1600;

// How one review button reads: the action a press performs.
struct ReviewButtonPresentation {
  AppLocalizationKey title;
  std::string symbol;
  friend bool operator==(const ReviewButtonPresentation&, const ReviewButtonPresentation&) = default;
};

struct ReviewControlsPresentation {
  ReviewButtonPresentation favorite;
  ReviewButtonPresentation deleteCandidate;
  bool isEnabled = false;
  friend bool operator==(const ReviewControlsPresentation&, const ReviewControlsPresentation&) = default;
};

// `record` is the focused record, if any; `canReview` the store's canReviewFocusedRecord.
ReviewControlsPresentation makeReviewControlsPresentation(const ImageRecord* record, bool canReview);

// Where a click on a long-text box landed. Only the header opens and closes it: the copy icon and
// the expanded text beside and below it leave it as it is.
enum class MetadataLongTextDisclosureTapTarget { headerRow, expandedText, copyButton };

bool nextDisclosureExpansion(bool isExpanded, MetadataLongTextDisclosureTapTarget target);

}  // namespace lorvex::ui
