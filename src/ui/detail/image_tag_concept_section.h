// The inspector's tag concepts for the shown image: every concept of the library as a chip,
// marked when it is assigned to this image by hand; a click assigns or removes that assignment for
// this image alone. The header's manage button opens the management panel in a popup beside it,
// scoped to this image. Its host shows it only while tag concepts are switched on.
//
// Each time the shown path changes, and each time the section comes back on screen (the focus left
// for no image and came back to the same one, the inspector was closed and opened), the concepts and
// this image's assignments load again (the previous load is stopped first): meanwhile another view
// may have loaded the store's assignments for other images. Until the assignments arrive every chip
// reads unassigned: the store counts nothing for a path outside its loaded scope.
//
// Thread safety: GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

#include "model/tag_concept.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/detail/keyed_store_task.h"

class QLabel;
class QToolButton;

namespace lorvex::ui {

class MetadataChipButton;
class TagChipGroup;

class ImageTagConceptSection : public QWidget {
  Q_OBJECT

 public:
  // The chips rest while the live library is missing or being prepared, or a concept change runs.
  ImageTagConceptSection(TagConceptsModel& concepts, const LibraryModel& library, StoreContext& context,
                         const AppLocalization* localization = nullptr, QWidget* parent = nullptr);
  ~ImageTagConceptSection() override;

  // The shown image; a new path restarts the load.
  void setImagePath(const std::string& path);
  // Chips and their states, from the models.
  void refresh();

  bool isManagementPresentedForTest() const { return isManagementPresented_; }
  // The open management popup, if any.
  QWidget* managementPopup() const { return popup_; }
  void presentManagement();

 private:
  TagConceptsModel& model_;
  const LibraryModel& library_;
  StoreContext& context_;
  const AppLocalization& localization_;
  std::string path_;
  std::vector<TagConcept> concepts_;
  std::vector<bool> assigned_;
  QToolButton* manage_;
  QLabel* empty_;
  TagChipGroup* chips_;
  QPointer<QWidget> popup_;
  bool isManagementPresented_ = false;
  // The load was started for the path while the section was on screen.
  bool isLoadCurrent_ = false;
  KeyedStoreTask load_;

  void startLoad();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
};

}  // namespace lorvex::ui
