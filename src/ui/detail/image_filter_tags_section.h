// The inspector's tags: the image's character tags and prompt tags as chips that add the tag to
// the search filter or take it out again, each with a copy item in its context menu. A chip shows
// whether its tag is among the selected filter tags (the store compares after whitespace
// normalisation, ignoring case) and follows every change of that selection; while the library is
// being prepared the chips are shown but disabled.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>
#include <cstddef>

#include "store/feature_models.h"
#include "store/record_ref.h"
#include "ui/common/app_localization.h"
#include "ui/detail/image_filter_tag_lists.h"

class QLabel;

namespace lorvex::ui {

class MetadataChipButton;
class TagChipGroup;

class ImageFilterTagsSection : public QWidget {
  Q_OBJECT

 public:
  // A chip toggles its tag among the selected filter tags; every chip rests while the live library
  // is missing or being prepared.
  ImageFilterTagsSection(FiltersModel& filters, const LibraryModel& library, StoreContext& context,
                         const AppLocalization* localization = nullptr, QWidget* parent = nullptr);

  // The shown record; the chips are updated in place.
  void setRecord(const ImageRecord& record);
  // The chips' selected and enabled states and texts that follow them, read from the models again.
  void refreshStates();

  const ImageFilterTagGroups& groups() const { return groups_; }
  TagChipGroup* characterGroupForTest() const { return characterGroup_; }
  TagChipGroup* promptGroupForTest() const { return promptGroup_; }

 private:
  void configureChip(TagChipGroup& group, MetadataChipButton& chip);
  // The states of the group's chips from `first` on.
  void applyStates(TagChipGroup& group, std::size_t first);

  FiltersModel& filters_;
  const LibraryModel& library_;
  StoreContext& context_;
  const AppLocalization& localization_;
  ImageFilterTagGroups groups_;
  QLabel* noTags_;
  TagChipGroup* characterGroup_;
  TagChipGroup* promptGroup_;
};

}  // namespace lorvex::ui
