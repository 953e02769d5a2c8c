#include "ui/detail/image_detail_panel_rules.h"

#include "ui/common/local_image_load_request.h"

namespace lorvex::ui {

std::vector<ImageDetailSection> imageDetailSections(bool hasRecord, bool isTagConceptEnabled) {
  using S = ImageDetailSection;
  if (!hasRecord) return {S::emptyState};
  if (isTagConceptEnabled) return {S::preview, S::reviewControls, S::tagConcepts, S::filterTags, S::metadata};
  return {S::preview, S::reviewControls, S::filterTags, S::metadata};
}

std::string imageDetailPreviewCacheKey(const ImageRecord& record) {
  return localImageFileCacheKey(record.file.path, record.file.fileSize, record.file.modificationDate);
}

ReviewControlsPresentation makeReviewControlsPresentation(const ImageRecord* record, bool canReview) {
  using Key = AppLocalizationKey;
  const bool favorite = record && record->reviewState.favorite;
  const bool deleteCandidate = record && record->reviewState.deleteCandidate;
  ReviewControlsPresentation presentation;
  presentation.favorite = favorite ? ReviewButtonPresentation{Key::reviewFavoriteUnfavorite, "star.slash"}
                                   : ReviewButtonPresentation{Key::reviewFavorite, "star"};
  presentation.deleteCandidate =
      deleteCandidate ? ReviewButtonPresentation{Key::reviewDeleteCandidateRemove, "trash.slash"}
                      : ReviewButtonPresentation{Key::reviewDeleteCandidate, "trash"};
  presentation.isEnabled = record && canReview;
  return presentation;
}

bool nextDisclosureExpansion(bool isExpanded, MetadataLongTextDisclosureTapTarget target) {
  return target == MetadataLongTextDisclosureTapTarget::headerRow ? !isExpanded : isExpanded;
}

}  // namespace lorvex::ui
